#pragma once

#include "platform/textcodec.h"

namespace testing_support {

// Sets the tag code page for one test and puts CP932 back after it, so that no other test
// runs under another code page.
class CodePageScope final
{
public:
    explicit CodePageScope(platform::CodePage codePage) { platform::setTagCodePage(codePage); }
    ~CodePageScope() { platform::setTagCodePage(platform::CodePage::Cp932); }
    CodePageScope(const CodePageScope &) = delete;
    CodePageScope &operator=(const CodePageScope &) = delete;
};

} // namespace testing_support
