/* The dialog templates: each one is checked twice, once as the bytes of the
 * resource (the exact style bits, which the window manager alters once the
 * controls exist) and once as the dialog the system builds from it (classes,
 * ANSI texts, visibility, pixel rectangles, font). */
#include "tests/unit/harness.h"
#include "resources/resource.h"

namespace {

const DWORD CHILD = WS_CHILD | WS_VISIBLE;
const DWORD HIDDEN = WS_CHILD; /* created without WS_VISIBLE */
const DWORD PAGE_STYLE = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;

struct Ctl {
    int id;
    const char *cls; /* as GetClassNameA reports it */
    DWORD style;     /* the full style of the template entry */
    int x, y, cx, cy;
    const char *text; /* NULL: the icon control, whose text is icon 300 */
};

struct Dlg {
    int id;
    const char *caption;
    DWORD style;
    int x, y, cx, cy;
    const char *face;
    const Ctl *controls;
    size_t count;
};

const Ctl welcome[] = {
    {IDC_WELCOME_ICON, "Static", CHILD | SS_ICON | WS_GROUP, 10, 24, 20, 20, NULL},
    {IDC_STATIC, "Static", CHILD | SS_LEFT | WS_GROUP, 44, 24, 202, 56,
     "Willkommen zum Drucker System.\n\n\nSetup wird den Druckertreiber in Ihr System kopieren "
     "und macht ein Update in den Windows Dateien."},
    {IDC_STATIC, "Static", CHILD | SS_LEFT | WS_GROUP, 44, 83, 175, 55,
     "Bevor Sie weiterarbeiten überzeugen Sie sich, daß Ihr Drucker konfiguriert, an Ihrem "
     "System angeschlossen und eingeschaltet ist.\n\n\nAlle anderen Anwendungen schließen."},
};

const Ctl installType[] = {
    {IDC_STATIC, "Static", CHILD | SS_LEFT | WS_GROUP, 8, 8, 256, 11,
     "Bitte den installations Type wählen."},
    {IDC_TYPE_EXPRESS, "Button", CHILD | BS_AUTORADIOBUTTON | WS_TABSTOP, 11, 29, 194, 10,
     "Express inst. um die wichtigsten Optionen zu installieren."},
    {IDC_TYPE_CUSTOM, "Button", CHILD | BS_AUTORADIOBUTTON | WS_TABSTOP, 11, 48, 201, 10,
     "Nur die von Ihnen ausgewählten Dateien werden installiert."},
    {IDC_TYPE_MINIMUM, "Button", CHILD | BS_AUTORADIOBUTTON | WS_TABSTOP, 11, 67, 181, 10,
     "Min. installation um nur die empf. Dateien zu inst."},
};

const Ctl printer[] = {
    {IDC_STATIC, "Static", CHILD | SS_LEFT | WS_GROUP, 21, 21, 179, 8,
     "Wähle einen Drucker für den die Software installiert ist:"},
    {IDC_PRINTER_LIST, "ListBox",
     CHILD | LBS_NOTIFY | LBS_SORT | LBS_NOINTEGRALHEIGHT | WS_BORDER | WS_VSCROLL | WS_TABSTOP,
     48, 36, 121, 65, ""},
};

const Ctl port[] = {
    {IDC_PORT_COMBO, "ComboBox", CHILD | CBS_SIMPLE | CBS_SORT | WS_VSCROLL | WS_TABSTOP,
     61, 44, 106, 49, ""},
    {IDC_STATIC, "Static", CHILD | SS_LEFT | WS_GROUP, 54, 19, 178, 8,
     "Wählen Sie den Port wo Ihr Drucker angeschlossen ist."},
    {IDC_PORT_BROWSE, "Button", CHILD | BS_PUSHBUTTON | WS_TABSTOP, 212, 125, 50, 14, "&Suchen..."},
    {IDC_STATIC, "Static", CHILD | SS_LEFT | WS_GROUP, 61, 99, 195, 10,
     "Wenn Ihr Drucker bereits im Netzwerk installiert ist"},
    {IDC_STATIC, "Static", CHILD | SS_LEFT | WS_GROUP, 60, 111, 181, 8,
     "drücke die Suchtaste um den Netzwerkpfad  zu wählen."},
};

const DWORD CHECK = BS_AUTOCHECKBOX | WS_TABSTOP;
const DWORD PUSH = BS_PUSHBUTTON | WS_TABSTOP;
const Ctl components[] = {
    {IDC_STATIC, "Button", CHILD | BS_GROUPBOX, 25, 22, 275, 63, "Treiber"},
    {IDC_MODEL1, "Button", CHILD | CHECK, 29, 42, 141, 10, "\"Kalyx Q70/Q90 PCL 6\""},
    {IDC_STATIC, "Static", CHILD, 41, 30, 51, 8, "Treiber Name:"},
    {IDC_STATIC, "Static", CHILD, 227, 29, 20, 8, "Größe"},
    {IDC_MODEL2, "Button", CHILD | CHECK, 29, 55, 132, 10, "\"Kalyx Q70/Q90 PCL 5e\""},
    {IDC_MODEL3, "Button", CHILD | CHECK, 29, 67, 141, 10, "\"Kalyx Q70/Q90 PS\""},
    {IDC_MODEL1_SIZE, "Static", CHILD, 219, 41, 45, 10, "2M Bytes"},
    {IDC_MODEL2_SIZE, "Static", CHILD, 219, 54, 49, 10, "1.7M Bytes"},
    {IDC_MODEL3_SIZE, "Static", CHILD, 219, 67, 48, 10, "2.2M Bytes"},
    {IDC_STATIC, "Button", CHILD | BS_GROUPBOX, 25, 91, 275, 52, "Drucker Treiber Tool"},
    {IDC_STATUS, "Button", CHILD | CHECK, 28, 110, 109, 10, "Drucker Treiber Status Display."},
    {IDC_PANEL, "Button", HIDDEN | CHECK, 28, 125, 104, 10, "Drucker Kontroll Panel."},
    {IDC_STATIC, "Static", CHILD, 41, 99, 49, 8, "Tool name:"},
    {IDC_STATIC, "Static", CHILD, 146, 98, 37, 8, "Größe"},
    {IDC_STATUS_SIZE, "Static", CHILD, 139, 111, 47, 8, "3.1M Bytes"},
    {IDC_PANEL_SIZE, "Static", HIDDEN, 139, 126, 45, 8, "1.7M Bytes"},
    {IDC_STATIC, "Static", CHILD, 206, 97, 32, 8, "Lokalität"},
    {IDC_STATUS_DIR, "Static", CHILD | WS_BORDER, 188, 109, 59, 11, "Static"},
    {IDC_PANEL_DIR, "Static", HIDDEN | WS_BORDER, 188, 125, 59, 11, "Static"},
    {IDC_STATUS_CHANGE, "Button", CHILD | PUSH, 253, 107, 39, 12, "Wechseln"},
    {IDC_PANEL_CHANGE, "Button", HIDDEN | PUSH, 253, 125, 39, 12, "Wechseln"},
    {IDC_STATIC, "Static", CHILD, 28, 154, 72, 8, "Benötigt Platz:"},
    {IDC_STATIC, "Static", CHILD, 28, 166, 76, 8, "Total verfügbarer Platz:"},
    {IDC_COL1_HEAD, "Static", CHILD, 116, 145, 40, 8, "Drive C:"},
    {IDC_COL2_HEAD, "Static", CHILD, 170, 145, 42, 8, ""},
    {IDC_COL1_NEED, "Static", CHILD, 112, 155, 52, 8, "Static"},
    {IDC_COL1_FREE, "Static", CHILD, 112, 166, 54, 8, "Static"},
    {IDC_COL2_NEED, "Static", CHILD, 166, 154, 56, 8, ""},
    {IDC_COL2_FREE, "Static", CHILD, 166, 166, 57, 8, ""},
    {IDC_COL3_HEAD, "Static", CHILD, 232, 146, 36, 8, ""},
    {IDC_COL3_NEED, "Static", CHILD, 227, 155, 61, 8, ""},
    {IDC_COL3_FREE, "Static", CHILD, 227, 166, 62, 8, ""},
};

const Ctl inputPath[] = {
    {IDOK, "Button", CHILD | BS_DEFPUSHBUTTON | WS_TABSTOP, 53, 104, 50, 14, "&OK"},
    {IDCANCEL, "Button", CHILD | PUSH, 143, 104, 50, 14, "&Abbrechen"},
    {IDC_STATIC, "Static", CHILD, 23, 19, 202, 8, "Bitte geben Sie den Bestimmungspfad ein:"},
    {IDC_STATIC, "Static", CHILD, 48, 32, 16, 8, "Pfad:"},
    {IDC_INPUT_PATH, "Edit", CHILD | ES_UPPERCASE | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP,
     69, 30, 128, 14, ""},
    {IDC_INPUT_BROWSE, "Button", CHILD | PUSH, 148, 51, 50, 14, "&Suchen..."},
    {IDC_STATIC, "Static", CHILD, 23, 56, 104, 19,
     "Oder klicken Sie auf suchen um den Pfad zu wählen."},
};

const Ctl defaultPrinter[] = {
    {IDC_SET_DEFAULT, "Button", CHILD | BS_DEFPUSHBUTTON | WS_TABSTOP, 48, 67, 50, 14,
     "&Stand. einst."},
    {IDCANCEL, "Button", CHILD | PUSH, 139, 66, 50, 14, "&Nein"},
    {IDC_STATIC, "Static", CHILD | SS_LEFT | WS_GROUP, 20, 33, 197, 8,
     "Möchten Sie den Drucker als Standard Drucker?"},
    {IDC_STATIC, "Static", CHILD | SS_LEFT | WS_GROUP, 20, 20, 183, 8,
     "Der Drucker Treiber wurde richtig installiert."},
};

#define DIALOG_ENTRY(id, caption, style, x, y, cx, cy, face, controls) \
    {id, caption, style, x, y, cx, cy, face, controls, ARRAYSIZE(controls)}

const Dlg dialogs[] = {
    DIALOG_ENTRY(IDD_WELCOME, "Willkommen", PAGE_STYLE | DS_3DLOOK, 0, 0, 252, 179,
                 "MS Shell Dlg", welcome),
    DIALOG_ENTRY(IDD_INSTALLTYPE, "Installations Type", PAGE_STYLE | DS_3DLOOK, 0, 0, 252, 218,
                 "MS Shell Dlg", installType),
    DIALOG_ENTRY(IDD_PRINTER, "Drucker anwählen", PAGE_STYLE, 0, 0, 252, 218, "MS Sans Serif",
                 printer),
    DIALOG_ENTRY(IDD_PORT, "Port auswählen", PAGE_STYLE, 0, 0, 279, 196, "MS Sans Serif", port),
    DIALOG_ENTRY(IDD_COMPONENTS, "Compnenten wählen", PAGE_STYLE, 0, 0, 307, 214, "MS Sans Serif",
                 components),
    DIALOG_ENTRY(IDD_INPUTPATH, "Pfad eingeben", PAGE_STYLE, 0, 0, 247, 147, "MS Sans Serif",
                 inputPath),
    DIALOG_ENTRY(IDD_DEFAULTPRINTER, "Dr. auf Standard setzen", PAGE_STYLE, 100, 80, 224, 98,
                 "MS Sans Serif", defaultPrinter),
};

const Dlg &DialogFor(int id)
{
    for (const Dlg &d : dialogs)
        if (d.id == id)
            return d;
    ADD_FAILURE() << "no expectation for dialog " << id;
    return dialogs[0];
}

/* ---- the template as stored: a classic DLGTEMPLATE with its DLGITEMTEMPLATEs ---- */

std::string Ansi(const WCHAR *text, int length)
{
    char buffer[1024];
    int n = WideCharToMultiByte(1252, 0, text, length, buffer, sizeof(buffer), NULL, NULL);
    return std::string(buffer, n > 0 ? n : 0);
}

/* A string-or-ordinal field: "#n" for an ordinal, else the text in cp1252. */
const WORD *ReadField(const WORD *p, std::string *out)
{
    if (*p == 0xFFFF) {
        *out = "#" + std::to_string(p[1]);
        return p + 2;
    }
    int n = 0;
    while (p[n])
        n++;
    *out = Ansi(reinterpret_cast<const WCHAR *>(p), n);
    return p + n + 1;
}

const WORD *AlignDword(const WORD *p)
{
    return reinterpret_cast<const WORD *>((reinterpret_cast<ULONG_PTR>(p) + 3) & ~ULONG_PTR(3));
}

/* Windows' predefined class atoms of a template, by the names GetClassNameA gives. */
std::string ClassName(const std::string &field)
{
    static const struct { const char *atom, *name; } atoms[] = {
        {"#128", "Button"}, {"#129", "Edit"}, {"#130", "Static"},
        {"#131", "ListBox"}, {"#133", "ComboBox"}};
    for (auto &a : atoms)
        if (field == a.atom)
            return a.name;
    return field;
}

void CheckStoredTemplate(const Dlg &want)
{
    SCOPED_TRACE("stored template " + std::to_string(want.id));
    HMODULE module = GetModuleHandleA(NULL);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(want.id), (LPCSTR)RT_DIALOG);
    ASSERT_TRUE(found != NULL);
    const DLGTEMPLATE *head = static_cast<const DLGTEMPLATE *>(LockResource(LoadResource(module, found)));
    ASSERT_TRUE(head != NULL);
    ASSERT_NE(0xFFFF0001u, *reinterpret_cast<const DWORD *>(head)) << "expected a DIALOG, not DIALOGEX";
    EXPECT_EQ(want.style, head->style) << std::hex << "got 0x" << head->style;
    EXPECT_EQ(0u, head->dwExtendedStyle);
    EXPECT_EQ(want.x, head->x);
    EXPECT_EQ(want.y, head->y);
    EXPECT_EQ(want.cx, head->cx);
    EXPECT_EQ(want.cy, head->cy);
    ASSERT_EQ(want.count, head->cdit);

    std::string menu, cls, caption, face;
    const WORD *p = reinterpret_cast<const WORD *>(head + 1);
    p = ReadField(p, &menu);
    p = ReadField(p, &cls);
    p = ReadField(p, &caption);
    EXPECT_EQ("", menu);
    EXPECT_EQ("", cls);
    EXPECT_EQ(want.caption, caption);
    EXPECT_EQ(8, *p);
    p = ReadField(p + 1, &face);
    EXPECT_EQ(want.face, face);

    for (size_t i = 0; i < want.count; i++) {
        const Ctl &c = want.controls[i];
        SCOPED_TRACE("control " + std::to_string(i) + " id " + std::to_string(c.id));
        const DLGITEMTEMPLATE *item = reinterpret_cast<const DLGITEMTEMPLATE *>(AlignDword(p));
        EXPECT_EQ(c.style, item->style) << std::hex << "got 0x" << item->style << " want 0x" << c.style;
        EXPECT_EQ(0u, item->dwExtendedStyle);
        EXPECT_EQ(c.x, item->x);
        EXPECT_EQ(c.y, item->y);
        EXPECT_EQ(c.cx, item->cx);
        EXPECT_EQ(c.cy, item->cy);
        EXPECT_EQ((WORD)c.id, item->id);
        std::string itemClass, text;
        p = ReadField(reinterpret_cast<const WORD *>(item + 1), &itemClass);
        p = ReadField(p, &text);
        EXPECT_STRCASEEQ(c.cls, ClassName(itemClass).c_str());
        EXPECT_EQ(c.text ? std::string(c.text) : "#" + std::to_string(IDI_KXSETUP), text);
        p = reinterpret_cast<const WORD *>(reinterpret_cast<const BYTE *>(p + 1) + *p);
    }
}

/* ---- the dialog the system builds from it ---- */

INT_PTR CALLBACK InertProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

/* The dialog manager converts a control's position and its size each on its
 * own, so the far edges carry the rounding of both. */
RECT DialogUnits(HWND dialog, int x, int y, int cx, int cy)
{
    RECT r = {x, y, cx, cy};
    MapDialogRect(dialog, &r);
    r.right += r.left;
    r.bottom += r.top;
    return r;
}

RECT ClientRelative(HWND dialog, HWND control)
{
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(NULL, dialog, reinterpret_cast<POINT *>(&r), 2);
    return r;
}

#define EXPECT_RECT_EQ(want, got)                 \
    do {                                          \
        EXPECT_EQ((want).left, (got).left);       \
        EXPECT_EQ((want).top, (got).top);         \
        EXPECT_EQ((want).right, (got).right);     \
        EXPECT_EQ((want).bottom, (got).bottom);   \
    } while (0)

void CheckBuiltDialog(const Dlg &want)
{
    SCOPED_TRACE("dialog " + std::to_string(want.id));
    HWND dialog = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(want.id), NULL,
                                     InertProc, 0);
    ASSERT_TRUE(dialog != NULL) << GetLastError();
    EXPECT_EQ(want.caption, WindowText(dialog));

    RECT client, size = DialogUnits(dialog, 0, 0, want.cx, want.cy);
    GetClientRect(dialog, &client);
    EXPECT_RECT_EQ(size, client);
    if (want.x || want.y) {
        /* Without an owner the template position places the client area's
         * corner in screen coordinates. */
        RECT place = DialogUnits(dialog, want.x, want.y, 0, 0);
        POINT corner = {0, 0};
        ClientToScreen(dialog, &corner);
        EXPECT_EQ(place.left, corner.x);
        EXPECT_EQ(place.top, corner.y);
    }

    HFONT font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    LOGFONTA logFont;
    ASSERT_TRUE(font != NULL);
    ASSERT_TRUE(GetObjectA(font, sizeof(logFont), &logFont));
    EXPECT_STREQ(want.face, logFont.lfFaceName);
    HDC screen = GetDC(NULL);
    EXPECT_EQ(-MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72), logFont.lfHeight);
    ReleaseDC(NULL, screen);

    HWND control = GetWindow(dialog, GW_CHILD);
    for (size_t i = 0; i < want.count; i++, control = GetWindow(control, GW_HWNDNEXT)) {
        const Ctl &c = want.controls[i];
        SCOPED_TRACE("control " + std::to_string(i) + " id " + std::to_string(c.id));
        ASSERT_TRUE(control != NULL);
        EXPECT_EQ(c.id, (int)(short)GetDlgCtrlID(control));
        char cls[32];
        GetClassNameA(control, cls, sizeof(cls));
        EXPECT_STREQ(c.cls, cls);
        DWORD style = (DWORD)GetWindowLongA(control, GWL_STYLE);
        EXPECT_EQ(c.style & WS_VISIBLE, style & WS_VISIBLE);
        EXPECT_EQ(c.style & (WS_TABSTOP | WS_GROUP), style & (WS_TABSTOP | WS_GROUP));
        RECT want = DialogUnits(dialog, c.x, c.y, c.cx, c.cy), got = ClientRelative(dialog, control);
        if (c.text) {
            EXPECT_EQ(c.text, WindowText(control));
            EXPECT_RECT_EQ(want, got);
        } else {
            /* An icon static takes the size of its icon, at the template position. */
            EXPECT_TRUE(SendMessageA(control, STM_GETICON, 0, 0) != 0);
            EXPECT_EQ(want.left, got.left);
            EXPECT_EQ(want.top, got.top);
            EXPECT_EQ(GetSystemMetrics(SM_CXICON), got.right - got.left);
            EXPECT_EQ(GetSystemMetrics(SM_CYICON), got.bottom - got.top);
        }
    }
    EXPECT_TRUE(control == NULL) << "more controls than expected";
    DestroyWindow(dialog);
}

void CheckDialog(int id)
{
    const Dlg &want = DialogFor(id);
    CheckStoredTemplate(want);
    CheckBuiltDialog(want);
}

} // namespace

class DialogTemplates : public KxTest {};

TEST_F(DialogTemplates, WelcomePageShowsIconAndTwoTexts) { CheckDialog(IDD_WELCOME); }
TEST_F(DialogTemplates, InstallTypePageHasOneRadioGroup) { CheckDialog(IDD_INSTALLTYPE); }
TEST_F(DialogTemplates, PrinterPageHasOneModelList) { CheckDialog(IDD_PRINTER); }
TEST_F(DialogTemplates, PortPageHasSimpleComboAndBrowse) { CheckDialog(IDD_PORT); }
TEST_F(DialogTemplates, ComponentsPageHidesControlPanelRow) { CheckDialog(IDD_COMPONENTS); }
TEST_F(DialogTemplates, InputPathDialogHasUppercaseEdit) { CheckDialog(IDD_INPUTPATH); }
TEST_F(DialogTemplates, DefaultPrinterDialogSitsAt100By80) { CheckDialog(IDD_DEFAULTPRINTER); }

TEST_F(DialogTemplates, ProgramIconHasA32PixelImage)
{
    HICON icon = (HICON)LoadImageA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDI_KXSETUP),
                                   IMAGE_ICON, 32, 32, 0);
    ASSERT_TRUE(icon != NULL);
    ICONINFO info;
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP mask;
    GetObjectA(info.hbmMask, sizeof(mask), &mask);
    EXPECT_EQ(32, mask.bmWidth);
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
}
