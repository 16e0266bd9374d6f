#pragma once
// Grading a picture already read as grey levels (what Verify and VerifyFile do after
// reading the file; the tests grade pictures they have altered).
#include "export/PictureReader.h"
#include "varimark/verify.h"

namespace varimark {

VerifyReport VerifyGreyPicture(const TGreyPicture& picture, const VerifyOptions& options);

} // namespace varimark
