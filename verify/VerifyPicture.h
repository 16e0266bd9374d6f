#pragma once
// Grading a picture already read as grey levels (what Verify and VerifyFile do after
// reading the file; the tests grade pictures they have altered).
#include "varimark/verify.h"
#include "verify/PictureReader.h"

namespace varimark {

VerifyReport VerifyGreyPicture(const TGreyPicture& picture, const VerifyOptions& options);

} // namespace varimark
