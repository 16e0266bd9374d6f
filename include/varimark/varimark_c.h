/* libvarimark for C and for languages that call C (Python, Go, Rust): a symbol is an
 * opaque handle set field by field; every function returns a status, and on failure
 * varimark_last_error() gives the system's message (for this thread, until the next call).
 * No function ends the process or lets an exception through: memory running out is
 * VARIMARK_NO_MEMORY (a null handle from the _new functions), whichever call it hits.
 *
 *     varimark_symbol* s = varimark_symbol_new();
 *     varimark_symbol_set_type(s, "EAN_13");
 *     varimark_symbol_set_text(s, "400638133393");
 *     varimark_buffer png;
 *     if (varimark_render(s, NULL, &png) != VARIMARK_OK) puts(varimark_last_error());
 *     ... png.data, png.size ...
 *     varimark_buffer_free(&png);
 *     varimark_symbol_free(s);
 */
#ifndef VARIMARK_C_H
#define VARIMARK_C_H

#include <stddef.h>
#include <stdint.h>

#define VARIMARK_C_API __attribute__((visibility("default")))

#ifdef __cplusplus
extern "C" {
#endif

typedef enum varimark_status {
    VARIMARK_OK = 0,
    VARIMARK_REFUSED = 1, /* the text, a value or the picture refused; the file not written */
    VARIMARK_INVALID_ARGUMENT = 2, /* a null handle or pointer, an unknown name */
    VARIMARK_NO_MEMORY = 3,        /* memory ran out; no buffer given, the file not written */
} varimark_status;

typedef struct varimark_symbol varimark_symbol;
typedef struct varimark_options varimark_options;

/* Bytes the library allocated; free them with varimark_buffer_free. */
typedef struct varimark_buffer {
    uint8_t* data;
    size_t size;
} varimark_buffer;

/* The message of this thread's last failed call ("" after a success), kept in the thread's
 * own fixed storage until its next call: at most 511 bytes, a longer message cut after the
 * last whole UTF-8 character that fits. */
VARIMARK_C_API const char* varimark_last_error(void);
VARIMARK_C_API const char* varimark_version(void);

/* A symbol with the defaults: Code 128 B, module size 2, the type's own ratio (3; ITF_14
 * 2.5), ITF_14's bearer bars as a frame, the text line in Arial; NULL when memory is out. */
VARIMARK_C_API varimark_symbol* varimark_symbol_new(void);
VARIMARK_C_API void varimark_symbol_free(varimark_symbol* symbol);
/* "EAN_13", "code128-b", "GS1_128", "ITF_14", ...: VARIMARK_INVALID_ARGUMENT for an
 * unknown name. */
VARIMARK_C_API varimark_status varimark_symbol_set_type(varimark_symbol* symbol, const char* name);
/* The name of the symbology numbered index, counting from 0 in the order of the types
 * ("EAN_8", "EAN_13", ... "ITF_14"); NULL past the last. Since 1.3. */
VARIMARK_C_API const char* varimark_type_name(int index);
/* UTF-8 texts. */
VARIMARK_C_API varimark_status varimark_symbol_set_text(varimark_symbol* symbol, const char* text);
VARIMARK_C_API varimark_status varimark_symbol_set_addon(varimark_symbol* symbol,
                                                         const char* addon);
VARIMARK_C_API varimark_status varimark_symbol_set_font(varimark_symbol* symbol, const char* font);
/* Whole-number fields by name: "ratio" (3 or 2; 0 the type's own), "ratio_percent" (the
 * ratio in hundredths: ITF_14 takes 225, 250, 275 and 300), "module_size", "rotation",
 * "bar_height", "font_height", and the switches "human_readable", "zoom", "high_density",
 * "width_reduce", "escapes", "repair" and "bearer" (ITF_14's bearer bars: 0 a frame, 1 top
 * and bottom only) (0 or 1). Ranges are checked when the symbol is used. */
VARIMARK_C_API varimark_status varimark_symbol_set_int(varimark_symbol* symbol, const char* field,
                                                       long long value);

/* Picture options with the defaults: PNG, scale 1, quiet zones, 96 dpi, in colour; NULL
 * when memory is out. */
VARIMARK_C_API varimark_options* varimark_options_new(void);
VARIMARK_C_API void varimark_options_free(varimark_options* options);
/* "png", ".bmp", "tif", ...: VARIMARK_INVALID_ARGUMENT for another. */
VARIMARK_C_API varimark_status varimark_options_set_format(varimark_options* options,
                                                           const char* format);
/* "scale", "margin" (a negative value: quiet zones), "quiet_zones", "dpi", "monochrome". */
VARIMARK_C_API varimark_status varimark_options_set_int(varimark_options* options,
                                                        const char* field, long long value);

/* The prepared text and the bar pattern ('1' dark), both zero-terminated; free both. */
VARIMARK_C_API varimark_status varimark_encode(const varimark_symbol* symbol,
                                               varimark_buffer* code_text,
                                               varimark_buffer* modules);
/* The picture file's bytes; options may be NULL for the defaults. */
VARIMARK_C_API varimark_status varimark_render(const varimark_symbol* symbol,
                                               const varimark_options* options,
                                               varimark_buffer* picture);
/* The picture written safely under exactly that name. */
VARIMARK_C_API varimark_status varimark_render_to_file(const varimark_symbol* symbol,
                                                       const varimark_options* options,
                                                       const char* file_name);

/* The barcode in a picture file's bytes (PNG, BMP, TIFF, GIF, JPEG) graded as a print-quality
 * verifier does; the report is one zero-terminated JSON object (as varimark-cli verify --json
 * prints it). type: a type name, or NULL or "auto" for any linear symbology; dpi 0: the
 * file's; aperture_mils 0: by the X dimension; reflectances in percent for grey levels 0 and
 * 255 (0 and 100 uncalibrated); min_grade: what passes (1.5 is C). A picture without a
 * barcode is a report with "decoded":false, not a failure. */
VARIMARK_C_API varimark_status varimark_verify(const uint8_t* picture, size_t size,
                                               const char* type, double dpi, double aperture_mils,
                                               double reflectance_black, double reflectance_white,
                                               double min_grade, varimark_buffer* report_json);
/* varimark_verify with checks beyond the grade, VARIMARK_VERIFY_* or'ed in flags:
 * VARIMARK_VERIFY_GS1 checks the symbol's size against GS1's symbol specification tables
 * (the report's "gs1" object gains "table" and "size_checks", as varimark-cli verify --gs1).
 * A flag this library does not know is refused. */
#define VARIMARK_VERIFY_GS1 1u
VARIMARK_C_API varimark_status varimark_verify_flags(const uint8_t* picture, size_t size,
                                                     const char* type, double dpi,
                                                     double aperture_mils, double reflectance_black,
                                                     double reflectance_white, double min_grade,
                                                     unsigned flags, varimark_buffer* report_json);
VARIMARK_C_API void varimark_buffer_free(varimark_buffer* buffer);

#ifdef __cplusplus
}
#endif

#endif
