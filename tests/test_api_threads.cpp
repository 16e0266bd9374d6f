// The public C++ API from eight threads at once: each thread encodes, renders and verifies a
// symbol of its own, and every result equals what the same call gives made alone. Built
// with ThreadSanitizer as well (make test-tsan), which reports any data race the calls run into.
#include "varimark/varimark.h"
#include "varimark/verify.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <latch>
#include <string>
#include <thread>
#include <vector>

namespace {

using varimark::Format;
using varimark::Type;

struct Row {
    Type type;
    const char* text;
    Format format;
    int rotation;
};

// Eight symbologies, each drawn into a different picture format.
constexpr Row kRows[] = {
    {Type::EAN_13, "400638133393", Format::Png, 0}, {Type::UPC_A, "03600029145", Format::Bmp, 90},
    {Type::CODE128_B, "Hello", Format::Gif, 0},     {Type::CODE39, "ABC-12", Format::Tiff, 180},
    {Type::EAN_8, "9638507", Format::Jpeg, 0},      {Type::CODE25i, "123456", Format::Svg, 270},
    {Type::Codabar, "A40156B", Format::Pdf, 0},     {Type::UPC_E, "0123457", Format::Emf, 0},
};

// Everything a row's calls give, as one comparable value.
struct Results {
    varimark::Encoded encoded;
    std::vector<std::uint8_t> picture, png;
    std::string report;
    bool operator==(const Results& o) const {
        return encoded.codeText == o.encoded.codeText && encoded.modules == o.encoded.modules &&
               picture == o.picture && png == o.png && report == o.report;
    }
};

Results CallsOf(const Row& row) {
    varimark::Symbol symbol;
    symbol.type = row.type;
    symbol.text = row.text;
    symbol.rotation = row.rotation;
    varimark::PictureOptions options;
    options.format = row.format;
    Results r;
    r.encoded = varimark::Encode(symbol);
    r.picture = varimark::Render(symbol, options);
    r.png = varimark::Render(symbol, {});
    r.report = varimark::VerifyReportJson(varimark::Verify(r.png.data(), r.png.size(), {}));
    return r;
}

TEST(ApiThreads, EightThreadsAtOnceGiveWhatEachCallGivesAlone) {
    constexpr std::size_t kThreads = std::size(kRows);
    std::vector<Results> alone;
    for (const Row& row : kRows) alone.push_back(CallsOf(row));
    for (std::size_t i = 0; i < kThreads; ++i)
        EXPECT_NE(alone[i].report.find("\"decoded\":true"), std::string::npos) << kRows[i].text;

    for (int round = 0; round < 2; ++round) {
        std::vector<Results> together(kThreads);
        std::latch start(static_cast<std::ptrdiff_t>(kThreads));
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < kThreads; ++i)
            threads.emplace_back([&, i] {
                start.arrive_and_wait(); // all eight call at once
                together[i] = CallsOf(kRows[(i + static_cast<std::size_t>(round)) % kThreads]);
            });
        for (std::thread& thread : threads) thread.join();
        for (std::size_t i = 0; i < kThreads; ++i) {
            const std::size_t row = (i + static_cast<std::size_t>(round)) % kThreads;
            EXPECT_TRUE(together[i] == alone[row]) << "round " << round << ": " << kRows[row].text;
        }
    }
}

} // namespace
