#pragma once
// An edit field with an input limit: what the user can type or paste. Unlike a maximum
// length, the limit does not cut text that the program puts into the field; like it, a
// longer paste keeps its first characters up to the limit.
#include <QLineEdit>
#include <QValidator>

#include <optional>

namespace varimark {

class TLimitedEdit : public QLineEdit {
public:
    explicit TLimitedEdit(QWidget* parent = nullptr);
    int MaxLength() const { return limit_.Limit(); }
    void SetMaxLength(int limit) { limit_.SetLimit(limit); }

    // The program's text: taken whole, whatever the limit.
    void setText(const QString& text);

    // Whether this release ends the typing of the character that filled the field: the press
    // of the same key typed a printable character that brought the text up to the limit.
    // Moving, selecting, deleting, pasting, Tab and modifier keys never count; an auto-repeated
    // release waits for the real one. True once per filling press.
    bool TakeFilledBy(const QKeyEvent& release);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    class TInputLimit : public QValidator {
    public:
        int Limit() const { return limit_; }
        void SetLimit(int limit) { limit_ = limit; }
        // The text before the edit being validated, and whether the program sets the text.
        void SetBefore(const QString& text) { before_ = text; }
        void SetProgramText(bool program) { program_ = program; }
        State validate(QString& input, int& pos) const override;

    private:
        int limit_ = 32767;
        QString before_;
        bool program_ = false;
    };
    TInputLimit limit_;
    std::optional<int> filledBy_; // the key whose press filled the field, until its release
};

} // namespace varimark
