// Writes one barcode as a picture file, the format by the name's extension:
//     label EAN_13 400638133393 label.png
// and prints its prepared text and bar pattern.
#include <varimark/varimark.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: label TYPE TEXT FILE.{bmp,gif,tif,jpg,emf,png,svg,pdf}\n");
        return 2;
    }
    try {
        varimark::Symbol symbol;
        const auto type = varimark::TypeFromName(argv[1]);
        if (!type) throw varimark::Error(std::string("unknown type ") + argv[1]);
        symbol.type = *type;
        symbol.text = argv[2];
        varimark::PictureOptions options;
        const auto format = varimark::FormatFromName(argv[3]);
        if (!format) throw varimark::Error(std::string("unknown format of ") + argv[3]);
        options.format = *format;
        options.dpi = 300;
        const varimark::Encoded encoded = varimark::Encode(symbol);
        varimark::RenderToFile(symbol, options, argv[3]);
        std::printf("%s %s\n", encoded.codeText.c_str(), encoded.modules.c_str());
        return 0;
    } catch (const varimark::Error& e) {
        std::fprintf(stderr, "label: %s\n", e.what());
        return 1;
    }
}
