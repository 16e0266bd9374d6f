#pragma once
// An edit field with an input limit: what the user can type or paste. Unlike a maximum
// length, the limit does not cut text that the program puts into the field; like it, a
// longer paste keeps its first characters up to the limit.
#include <QLineEdit>
#include <QValidator>

namespace varimark {

class TLimitedEdit : public QLineEdit {
public:
    explicit TLimitedEdit(QWidget* parent = nullptr);
    int MaxLength() const { return limit_.Limit(); }
    void SetMaxLength(int limit) { limit_.SetLimit(limit); }

    // The program's text: taken whole, whatever the limit.
    void setText(const QString& text);

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
};

} // namespace varimark
