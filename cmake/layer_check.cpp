// The one source of the layer link checks (cmake/QelLayers.cmake): the
// layer's own objects make the shared object; this file adds nothing.
