// QEL_FW_API: what libqelfw.so exports. The library is built with hidden
// visibility; a class or function its users (the module, qelhost, the toruca
// tool, the GUI back end, the tests) call carries this mark, nothing else.
#pragma once

#define QEL_FW_API __attribute__((visibility("default")))
