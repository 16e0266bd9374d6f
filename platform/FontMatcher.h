#pragma once
// Fonts by cell height: finds the Qt pixel size at which a face's ascent + descent
// comes closest to a requested height, and remembers the answer. Heights past what Qt
// measures correctly (16384 pixels) get the size and the cell from the face's proportions.
#include <QFont>
#include <QString>

#include <map>
#include <string>
#include <string_view>

namespace varimark {

class TFontMatcher {
public:
    // The font of the given face (8-bit name; "Default" is the system's sans face) whose
    // cell height is as close to height as the face allows.
    const QFont& Match(std::string_view face, int height);
    // The cell height (ascent + descent) of a matched font.
    int CellHeight(std::string_view face, int height);

    static QString FaceName(std::string_view face);

private:
    struct Entry {
        QFont font;
        int cellHeight;
    };
    const Entry& Find(std::string_view face, int height);
    // Shared by every matcher of a thread: fonts are set up once per process and thread,
    // not once per picture.
    static std::map<std::pair<std::string, int>, Entry, std::less<>>& Cache();
};

} // namespace varimark
