#include "spooler/spooler.h"
#include "resources/resource.h"
#include "change/change.h"
#include <strsafe.h>

/* Room for the longest line the record can produce: two model names and the
 * port, each at its field's full length, two commas and the terminator. A line
 * cut short would name a printer that does not exist. */
#define DEVICE_BACK_LINE "profile [windows] device back"
/* The profile calls name the file the plain ones stand for: one import pair
 * serves the ini sections too. */
#define WIN_INI "win.ini"
#define DEVICE_LINE_CHARS ((NAME_CHARS - 1) * 2 + (PORT_CHARS - 1) + 2 + 1)

INT_PTR CALLBACK DefaultPrinterDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND) {
        switch (LOWORD(wParam)) {
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            break;
        case IDC_SET_DEFAULT:
            EndDialog(dialog, IDC_SET_DEFAULT);
            break;
        }
    }
    /* FALSE throughout, WM_INITDIALOG included: the dialog manager does the rest. */
    return FALSE;
}

/* An empty old line is the line's absence. */
static DWORD UndoDeviceLine(void *data)
{
    const char *old = (const char *)data;

    return WritePrivateProfileStringA("windows", "device", old[0] ? old : NULL, WIN_INI) ? NO_ERROR
                                                                          : GetLastError();
}

void SetDefaultPrinter(SetupStateRecord *state)
{
    char line[DEVICE_LINE_CHARS];
    int slot;

    if (state->selectedComponents & CompModel1)
        slot = 0;
    else if (state->selectedComponents & CompModel2)
        slot = 1;
    else if (state->selectedComponents & CompModel3)
        slot = 2;
    else
        return;

    /* Only fails on texts that are not terminated within their fields. */
    if (FAILED(StringCchPrintfA(line, ARRAYSIZE(line), "%s,%s,%s", state->modelName[slot],
                                state->modelName[slot], state->portName)))
        return;
    if (Journaling()) {
        char *old =
            (char *)Journal(StepDeviceLine, DEVICE_LINE_CHARS, DEVICE_BACK_LINE);
        if (old)
            GetPrivateProfileStringA("windows", "device", "", old, DEVICE_LINE_CHARS, WIN_INI);
    }
    if (!Act("profile [windows] device=%s", line))
        return;
    BOOL written = WritePrivateProfileStringA("windows", "device", line, WIN_INI);
    ActDone(written, GetLastError());
    /* Not waited for: a bound per window would add up over many slow windows. */
    SendNotifyMessageA(HWND_BROADCAST, WM_WININICHANGE, 0, 0);
}

static const char *CheckDeviceLine(const void *data, DWORD bytes, const char *line)
{
    if (bytes < DEVICE_LINE_CHARS || !FieldText((const char *)data, DEVICE_LINE_CHARS))
        return KX_STEP_UNENDED;
    return LineIs(line, DEVICE_BACK_LINE) ? NULL : KX_STEP_OTHER_LINE;
}

void DefineDefaultPrinterUndo(void)
{
    DefineUndo(StepDeviceLine, UndoDeviceLine, CheckDeviceLine);
}
