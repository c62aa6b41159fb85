#include "base/base.h"
#include <strsafe.h>

/* A quiet run takes the answer that lets it go on: yes to a question (the
 * uninstall confirmation is the only one), OK to everything else. */
static int QuietAnswer(UINT style)
{
    switch (style & MB_TYPEMASK) {
    case MB_YESNO:
    case MB_YESNOCANCEL:
        return IDYES;
    case MB_RETRYCANCEL:
        return IDCANCEL;
    default:
        return IDOK;
    }
}

static int quietAnswers;

void SetQuietAnswers(int quiet)
{
    quietAnswers = quiet;
}

static const char *ButtonName(int answer)
{
    static const char *const names[] = { "none", "OK", "Cancel", "Abort", "Retry", "Ignore",
                                         "Yes", "No" };
    return answer >= 0 && answer < (int)ARRAYSIZE(names) ? names[answer] : "?";
}

int KxMessageBox(HWND owner, const char *text, const char *caption, UINT style)
{
    int answer = quietAnswers ? QuietAnswer(style) : MessageBoxA(owner, text, caption, style);

    LogLine("box \"%s\" \"%s\": %s%s", caption, text, ButtonName(answer),
            quietAnswers ? " (quiet)" : "");
    return answer;
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

/* The one box of a stop kept for after the undo: a system error, or a text. */
static int deferring;
static DWORD keptCode;
static const char *keptCaption;
static char keptText[640];

void DeferStopBoxes(int on)
{
    deferring = on;
    keptCaption = NULL;
}

void KeepStopBox(DWORD code, const char *text, const char *caption)
{
    if (deferring && keptCaption)
        return;
    keptCode = code;
    StringCchCopyA(keptText, ARRAYSIZE(keptText), text ? text : "");
    keptCaption = caption;
    if (!deferring)
        ShowKeptBox();
}

void ShowKeptBox(void)
{
    const char *caption = keptCaption;

    keptCaption = NULL;
    if (caption && keptText[0])
        KxMessageBox(NULL, keptText, caption, MB_OK);
    else if (caption)
        ShowSystemError(keptCode, caption);
}
