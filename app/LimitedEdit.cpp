#include "LimitedEdit.h"

TLimitedEdit::TLimitedEdit(QWidget* parent) : QLineEdit(parent) {
    setValidator(&limit_);
}
