#pragma once
// An edit field with an input limit: what the user can type. Unlike a maximum length,
// the limit does not cut text that the program puts into the field.
#include <QLineEdit>
#include <QValidator>

class TLimitedEdit : public QLineEdit {
public:
    explicit TLimitedEdit(QWidget* parent = nullptr);
    int MaxLength() const { return limit_.Limit(); }
    void SetMaxLength(int limit) { limit_.SetLimit(limit); }

private:
    class TInputLimit : public QValidator {
    public:
        int Limit() const { return limit_; }
        void SetLimit(int limit) { limit_ = limit; }
        State validate(QString& input, int&) const override {
            return input.size() <= limit_ ? Acceptable : Invalid;
        }

    private:
        int limit_ = 32767;
    };
    TInputLimit limit_;
};
