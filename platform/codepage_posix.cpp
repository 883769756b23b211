// The ANSI code page on systems that have none: Windows-1252, the code page of
// the program's Italian locale.
#include "platform/codepage.h"

namespace platform {

const CodePage& ansiCodePage()
{
    static const Windows1252 cp;
    return cp;
}

} // namespace platform
