/* Reads the MIME body of a ToruCa detail or project file with GMime 3, as a
 * second independent check of what the writer produces; prints what
 * read_mime.py prints (see there), without the defects field's names:
 * GMime reports none per part, so that field is empty.
 *
 * Usage: read_mime_gmime FILE. */
#include <gmime/gmime.h>
#include <stdio.h>
#include <string.h>

static void print_hex(const unsigned char *bytes, size_t n) {
    for (size_t i = 0; i < n; ++i) printf("%02x", bytes[i]);
}

static void print_part(GMimeObject *object) {
    GMimeContentType *type = g_mime_object_get_content_type(object);
    char *mime_type = g_mime_content_type_get_mime_type(type);
    printf("%s\t", mime_type);
    g_free(mime_type);
    GMimeParamList *params = g_mime_content_type_get_parameters(type);
    for (int i = 0; i < g_mime_param_list_length(params); ++i) {
        GMimeParam *p = g_mime_param_list_get_parameter_at(params, i);
        printf("%s%s=%s", i ? ";" : "", g_mime_param_get_name(p), g_mime_param_get_value(p));
    }
    const char *cte = g_mime_object_get_header(object, "Content-Transfer-Encoding");
    const char *cid = g_mime_object_get_header(object, "Content-ID");
    printf("\t%s\t%s\t\t", cte ? cte : "", cid ? cid : "");
    if (GMIME_IS_PART(object)) {
        GMimeDataWrapper *content = g_mime_part_get_content(GMIME_PART(object));
        GByteArray *bytes = g_byte_array_new();
        GMimeStream *out = g_mime_stream_mem_new_with_byte_array(bytes);
        g_mime_stream_mem_set_owner(GMIME_STREAM_MEM(out), FALSE);
        if (content) g_mime_data_wrapper_write_to_stream(content, out);
        print_hex(bytes->data, bytes->len);
        g_object_unref(out);
        g_byte_array_free(bytes, TRUE);
    }
    printf("\n");
}

int main(int argc, char **argv) {
    if (argc != 2) return 2;
    FILE *f = fopen(argv[1], "rb");
    if (!f) return 1;
    GByteArray *data = g_byte_array_new();
    unsigned char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) g_byte_array_append(data, buf, (guint)n);
    fclose(f);
    /* The ToruCa header block before the "MIME-Version" line is dropped. */
    const char *mark = "\r\nMIME-Version:";
    size_t start = 0;
    while (start + strlen(mark) <= data->len && memcmp(data->data + start, mark, strlen(mark)) != 0) ++start;
    if (start + strlen(mark) > data->len) return 1;

    g_mime_init();
    GMimeStream *stream = g_mime_stream_mem_new_with_buffer((const char *)data->data + start + 2, data->len - start - 2);
    GMimeParser *parser = g_mime_parser_new_with_stream(stream);
    GMimeMessage *message = g_mime_parser_construct_message(parser, NULL);
    int status = 1;
    GMimeObject *body = message ? g_mime_message_get_mime_part(message) : NULL;
    if (body && GMIME_IS_MULTIPART(body)) {
        printf("boundary\t%s\n", g_mime_multipart_get_boundary(GMIME_MULTIPART(body)));
        for (int i = 0; i < g_mime_multipart_get_count(GMIME_MULTIPART(body)); ++i)
            print_part(g_mime_multipart_get_part(GMIME_MULTIPART(body), i));
        status = 0;
    }
    if (message) g_object_unref(message);
    g_object_unref(parser);
    g_object_unref(stream);
    g_byte_array_free(data, TRUE);
    g_mime_shutdown();
    return status;
}
