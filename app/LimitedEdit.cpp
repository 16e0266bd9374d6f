#include "app/LimitedEdit.h"

#include <algorithm>

namespace varimark {

TLimitedEdit::TLimitedEdit(QWidget* parent) : QLineEdit(parent) {
    setValidator(&limit_);
    connect(this, &QLineEdit::textChanged, this,
            [this](const QString& text) { limit_.SetBefore(text); });
}

void TLimitedEdit::setText(const QString& text) {
    limit_.SetProgramText(true);
    QLineEdit::setText(text);
    limit_.SetProgramText(false);
    limit_.SetBefore(QLineEdit::text());
}

// A user's edit replaced a stretch of the text before it by what was typed or pasted: the
// common beginning and end of the two texts stay, and of the inserted characters the first
// ones are kept, as many as the limit leaves room for.
QValidator::State TLimitedEdit::TInputLimit::validate(QString& input, int& pos) const {
    if (program_ || input.size() <= limit_) return Acceptable;
    const qsizetype shorter = std::min(input.size(), before_.size());
    qsizetype head = 0;
    while (head < shorter && input[head] == before_[head]) ++head;
    qsizetype tail = 0;
    while (tail < shorter - head &&
           input[input.size() - 1 - tail] == before_[before_.size() - 1 - tail])
        ++tail;
    const qsizetype inserted = input.size() - head - tail;
    const qsizetype room = limit_ - head - tail;
    if (inserted == 0) return Acceptable; // a deletion from a longer text of the program
    if (room <= 0) return Invalid;        // no room: the edit is refused
    input = input.left(head) + input.mid(head, room) + input.right(tail);
    pos = static_cast<int>(head + room);
    return Acceptable;
}

} // namespace varimark
