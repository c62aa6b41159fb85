#include "setupdata/setupdata.h"
#include <strsafe.h>

int KxMessageBox(HWND owner, const char *text, const char *caption, UINT style)
{
    return MessageBoxA(owner, text, caption, style);
}

void ShowSystemError(DWORD code, const char *caption)
{
    char *text = NULL;
    char fallback[64];

    /* A system text with %1 inserts would otherwise be expanded from arguments
     * that are not there. */
    if (FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                           FORMAT_MESSAGE_IGNORE_INSERTS,
                       NULL, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                       (char *)&text, 0, NULL) && text) {
        KxMessageBox(NULL, text, caption, MB_ICONINFORMATION);
        LocalFree(text);
        return;
    }
    /* Codes without a system text (SetupAPI's 0xE000xxxx among them) still get a box. */
    StringCchPrintfA(fallback, ARRAYSIZE(fallback), "Error %lu (0x%08lX).",
                     (unsigned long)code, (unsigned long)code);
    KxMessageBox(NULL, fallback, caption, MB_ICONINFORMATION);
}
