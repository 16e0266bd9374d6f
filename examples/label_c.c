/* The same through the C API: label_c TYPE TEXT FILE.png writes a PNG at 300 dpi. */
#include <varimark/varimark_c.h>

#include <stdio.h>

int main(int argc, char** argv) {
    if (argc != 4) {
        fprintf(stderr, "usage: label_c TYPE TEXT FILE.png\n");
        return 2;
    }
    varimark_symbol* symbol = varimark_symbol_new();
    varimark_options* options = varimark_options_new();
    int status = symbol == NULL || options == NULL ? VARIMARK_NO_MEMORY : VARIMARK_OK;
    if (status == VARIMARK_OK) status = varimark_symbol_set_type(symbol, argv[1]);
    if (status == VARIMARK_OK) status = varimark_symbol_set_text(symbol, argv[2]);
    if (status == VARIMARK_OK) status = varimark_options_set_int(options, "dpi", 300);
    if (status == VARIMARK_OK) status = varimark_render_to_file(symbol, options, argv[3]);
    if (status != VARIMARK_OK) fprintf(stderr, "label_c: %s\n", varimark_last_error());
    varimark_options_free(options);
    varimark_symbol_free(symbol);
    return status == VARIMARK_OK ? 0 : 1;
}
