#include "app/LimitedEdit.h"

#include <QKeyEvent>

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

void TLimitedEdit::keyPressEvent(QKeyEvent* event) {
    // Held down, a key repeats its press; the repeats (refused: the field is full) keep the
    // filling press for the final release.
    if (!(event->isAutoRepeat() && filledBy_ == event->key())) filledBy_.reset();
    const qsizetype before = text().size();
    QLineEdit::keyPressEvent(event);
    // Typed: printable characters, not a command key (Ctrl+V pastes, whatever its text).
    const QString typed = event->text();
    const bool printable = !typed.isEmpty() && std::all_of(typed.begin(), typed.end(),
                                                           [](QChar c) { return c.isPrint(); });
    const bool command = (event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier)) != 0;
    if (printable && !command && text().size() > before && text().size() == MaxLength())
        filledBy_ = event->key();
}

void TLimitedEdit::focusOutEvent(QFocusEvent* event) {
    filledBy_.reset();
    QLineEdit::focusOutEvent(event);
}

bool TLimitedEdit::TakeFilledBy(const QKeyEvent& release) {
    if (release.isAutoRepeat() || filledBy_ != release.key()) return false;
    filledBy_.reset();
    return true;
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
