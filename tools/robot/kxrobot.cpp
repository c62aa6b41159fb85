/* kxrobot: drives kxsetup.exe from another process of the same Wine prefix,
 * the way a user would, following a script of one command per line, and writes
 * a transcript of what it saw: every message box (caption and text as the
 * program's cp1252 bytes), every wizard page reached, the buttons it pressed,
 * the program's exit code and times, the windows a quiet run showed, and the
 * registry, spooler and profile state it was asked to dump.
 *
 *   kxrobot.exe <script> <transcript>
 *
 * Exit code 0 when every step succeeded, 1 at the first failed step (a FAIL
 * line in the transcript and on stderr says which), 2 for a bad command line.
 *
 * Script commands (blank lines and lines starting with # are skipped; texts
 * are UTF-8; `ms` is a time-out, default 10000 or the last `timeout`):
 *   timeout <ms>                 note <text>
 *   cd <folder>                  folder for the next starts (default: the program's)
 *   start <exe> [args]           the program under test
 *   spawn <exe> [args]           a helper left running
 *   wait-exit [ms] [user]        the program's end: EXIT <code>, TIMES <wall ms>
 *                                <cpu ms>; a message box fails it unless "user"
 *   wait-exit-quiet [ms]         the same, recording every visible top-level
 *                                window of the program as WINDOW <class> <title>
 *   wait-window <title> [ms]     makes it the current window
 *   time-window <title> [ms]     the same, recording SHOWN <title> <ms since start>
 *   wait-page <caption> [ms]     the wizard showing that page; makes it current
 *   wait-gone <title> [ms]
 *   click|radio <id>             BM_CLICK on a control of the current window
 *   check <id> [0|1]             clicks a check box unless it shows that state
 *   combo <id> <entry>           selects the entry and tells the parent
 *   type <id> <text>             WM_SETTEXT
 *   expect-text|expect-selected <id> <text>, expect-checked|expect-enabled <id> [0|1]
 *   ok-box [caption]             answer-box <caption> <button id>
 *   browse-cancel                default-printer yes|no
 *   screenshot <name>            (see below)
 *   dump-key|dump-tree <HKLM|HKCU\path>, dump-printers, dump-drivers,
 *   dump-monitors, dump-profile <section> <key>, save-key <HKLM|HKCU> <file>
 *
 * Texts of other processes' windows are read with the W messages: the A forms
 * return a single character across processes under Wine. Buttons are pressed
 * by posting BM_CLICK, so a click that opens a modal dialog never blocks the
 * robot (PSM_PRESSBUTTON leaves Wine's property sheet hanging). */
#include <windows.h>
#include <winspool.h>
#include <prsht.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace
{

FILE *transcript;
std::vector<HWND> seenBoxes; /* boxes on the screen already recorded */
size_t boxCount;             /* boxes recorded in all */
HWND current;                /* window that click/type/expect address */
DWORD defaultTimeout = 10000;
PROCESS_INFORMATION child;
bool childStarted;
LARGE_INTEGER childStart; /* performance counter just before the start */
std::wstring startDir;
int lineNo;

/* A command's arguments, taken apart by the shape its table entry names. */
struct Args {
    std::string text;
    DWORD number; /* time-out, button id or wanted state */
    int id;       /* control id */
};

const int kSheetNext = 12324;

std::wstring Widen(const std::string &s, UINT cp = CP_UTF8)
{
    if (s.empty())
        return std::wstring();
    int n = MultiByteToWideChar(cp, 0, s.data(), (int)s.size(), NULL, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(cp, 0, s.data(), (int)s.size(), &w[0], n);
    return w;
}

std::string Narrow(const std::wstring &w, UINT cp)
{
    if (w.empty())
        return std::string();
    int n = WideCharToMultiByte(cp, 0, w.data(), (int)w.size(), NULL, 0, NULL, NULL);
    std::string s(n, '\0');
    WideCharToMultiByte(cp, 0, w.data(), (int)w.size(), &s[0], n, NULL, NULL);
    return s;
}

/* Transcript texts: cp1252 bytes; control characters escaped so that one
 * record stays on one line. */
std::string Escape(const std::string &s)
{
    std::string out;
    for (unsigned char c : s) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else if (c < 0x20) {
            char b[8];
            snprintf(b, sizeof b, "\\x%02X", c);
            out += b;
        } else
            out += (char)c;
    }
    return out;
}

std::string T(const std::wstring &w)
{
    return Escape(Narrow(w, 1252));
}

void Record(const std::string &line)
{
    fputs(line.c_str(), transcript);
    fputc('\n', transcript);
    fflush(transcript);
}

std::wstring TextOf(HWND w)
{
    wchar_t buf[4096];
    DWORD_PTR got = 0;
    buf[0] = 0;
    if (!SendMessageTimeoutW(w, WM_GETTEXT, ARRAYSIZE(buf), (LPARAM)buf, SMTO_ABORTIFHUNG, 3000,
                             &got))
        return std::wstring();
    buf[ARRAYSIZE(buf) - 1] = 0;
    return buf;
}

std::wstring ClassOf(HWND w)
{
    wchar_t buf[128];
    if (!GetClassNameW(w, buf, ARRAYSIZE(buf)))
        return std::wstring();
    return buf;
}

/* A lambda converts to a cdecl pointer only: the i686 callback must be WINAPI. */
BOOL CALLBACK CollectWindow(HWND w, LPARAM p)
{
    reinterpret_cast<std::vector<HWND> *>(p)->push_back(w);
    return TRUE;
}

std::vector<HWND> TopWindows()
{
    std::vector<HWND> all;
    EnumWindows(CollectWindow, (LPARAM)&all);
    return all;
}

std::vector<HWND> Descendants(HWND parent)
{
    std::vector<HWND> all;
    EnumChildWindows(parent, CollectWindow, (LPARAM)&all);
    return all;
}

bool IsDialog(HWND w)
{
    return ClassOf(w) == L"#32770";
}

/* A message box: a dialog whose text is control 0xFFFF and whose other
 * children are only statics and buttons with the standard ids (IDOK..IDCONTINUE).
 * The program's own dialogs have an edit, a list, a tree or a button such as
 * 1025, so they never pass. */
bool IsMessageBox(HWND w)
{
    if (!IsDialog(w) || !IsWindowVisible(w) || !GetDlgItem(w, 0xFFFF))
        return false;
    for (HWND c : Descendants(w)) {
        std::wstring cls = ClassOf(c);
        if (cls == L"Static")
            continue;
        if (cls != L"Button")
            return false;
        int id = GetDlgCtrlID(c);
        if (id < 1 || id > 11)
            return false;
    }
    return true;
}

bool IsSheet(HWND w)
{
    return IsDialog(w) && IsWindowVisible(w) && GetDlgItem(w, kSheetNext) != NULL;
}

void RecordBox(HWND box)
{
    for (HWND s : seenBoxes)
        if (s == box)
            return;
    seenBoxes.push_back(box);
    boxCount++;
    Record("BOX\t" + T(TextOf(box)) + "\t" + T(TextOf(GetDlgItem(box, 0xFFFF))));
}

/* Records every message box on the screen that has not been recorded yet. */
void ScanBoxes()
{
    for (size_t i = 0; i < seenBoxes.size();)
        if (!IsWindow(seenBoxes[i]))
            seenBoxes.erase(seenBoxes.begin() + i);
        else
            i++;
    for (HWND w : TopWindows())
        if (IsMessageBox(w))
            RecordBox(w);
}

/* A failed step: record it, list the windows on the screen, stop. */
[[noreturn]] void Fail(const std::string &what)
{
    ScanBoxes();
    std::string msg = "line " + std::to_string(lineNo) + ": " + what;
    Record("FAIL\t" + msg);
    fprintf(stderr, "kxrobot: %s\n", msg.c_str());
    for (HWND w : TopWindows()) {
        if (!IsWindowVisible(w))
            continue;
        fprintf(stderr, "  window %p class '%s' title '%s'\n", (void *)w,
                Narrow(ClassOf(w), CP_UTF8).c_str(), Narrow(TextOf(w), CP_UTF8).c_str());
    }
    if (transcript)
        fclose(transcript);
    exit(1);
}

/* Polls `ready` every 50 ms (recording boxes as they come) until it yields a
 * window or `timeout` ms have passed. */
template <typename F>
HWND WaitFor(F ready, DWORD timeout)
{
    DWORD start = GetTickCount();
    for (;;) {
        ScanBoxes();
        HWND w = ready();
        if (w)
            return w;
        if (GetTickCount() - start >= timeout)
            return NULL;
        Sleep(50);
    }
}

HWND FindTop(const std::wstring &title)
{
    for (HWND w : TopWindows())
        if (IsWindowVisible(w) && TextOf(w) == title)
            return w;
    return NULL;
}

HWND FindSheet()
{
    for (HWND w : TopWindows())
        if (IsSheet(w))
            return w;
    return NULL;
}

HWND CurrentPage(HWND sheet)
{
    DWORD_PTR page = 0;
    SendMessageTimeoutW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0, SMTO_ABORTIFHUNG, 2000, &page);
    return (HWND)page;
}

/* The control with this id in the current window: a visible one first (the
 * wizard's pages share ids and only the shown page is visible). */
HWND FindControl(int id)
{
    if (!current || !IsWindow(current))
        Fail("no current window");
    HWND hidden = NULL;
    for (HWND c : Descendants(current)) {
        if (GetDlgCtrlID(c) != id)
            continue;
        if (IsWindowVisible(c))
            return c;
        if (!hidden)
            hidden = c;
    }
    return hidden;
}

HWND WaitControl(int id, bool usable)
{
    HWND c = WaitFor(
        [&]() -> HWND {
            HWND f = FindControl(id);
            if (f && usable && (!IsWindowVisible(f) || !IsWindowEnabled(f)))
                return NULL;
            return f;
        },
        defaultTimeout);
    if (!c)
        Fail("control " + std::to_string(id) +
             (usable ? " not visible and enabled" : " not found"));
    return c;
}

void Click(HWND button)
{
    PostMessageW(button, BM_CLICK, 0, 0);
}

void WaitGone(HWND w, const std::string &what)
{
    DWORD start = GetTickCount();
    while (IsWindow(w) && IsWindowVisible(w)) {
        if (GetTickCount() - start > defaultTimeout)
            Fail(what + " did not close");
        Sleep(50);
    }
}

/* Splits a command's arguments: words separated by blanks. */
std::vector<std::string> Words(const std::string &s)
{
    std::vector<std::string> out;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && s[i] == ' ')
            i++;
        size_t j = i;
        while (j < s.size() && s[j] != ' ')
            j++;
        if (j > i)
            out.push_back(s.substr(i, j - i));
        i = j;
    }
    return out;
}

bool AllDigits(const std::string &s)
{
    if (s.empty())
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

/* "text ... 123": the text before a trailing number (or the whole line) and
 * the number (or `fallback`). */
std::string SplitTrailingNumber(const std::string &rest, DWORD *number, DWORD fallback)
{
    size_t sp = rest.find_last_of(' ');
    *number = fallback;
    if (sp != std::string::npos && AllDigits(rest.substr(sp + 1))) {
        *number = strtoul(rest.c_str() + sp + 1, NULL, 10);
        std::string head = rest.substr(0, sp);
        while (!head.empty() && head.back() == ' ')
            head.pop_back();
        return head;
    }
    return rest;
}

void DoWaitWindow(const Args &a)
{
    std::wstring title = Widen(a.text);
    HWND w = WaitFor([&] { return FindTop(title); }, a.number);
    if (!w)
        Fail("no window '" + a.text + "'");
    current = w;
}

void DoWaitGone(const Args &a)
{
    std::wstring title = Widen(a.text);
    DWORD start = GetTickCount();
    while (FindTop(title)) {
        ScanBoxes();
        if (GetTickCount() - start > a.number)
            Fail("window '" + a.text + "' still shown");
        Sleep(50);
    }
}

/* Wine titles the wizard with the current page's caption; the page itself
 * bears the caption as well, so either one counts. */
void DoWaitPage(const Args &a)
{
    std::wstring caption = Widen(a.text);
    DWORD timeout = a.number;
    HWND sheet = WaitFor(
        [&]() -> HWND {
            HWND s = FindSheet();
            if (!s)
                return NULL;
            HWND page = CurrentPage(s);
            if (page && TextOf(page) == caption)
                return s;
            if (TextOf(s) == caption)
                return s;
            return NULL;
        },
        timeout);
    if (!sheet) {
        HWND s = FindSheet();
        std::string now = s ? Narrow(TextOf(s), CP_UTF8) : std::string("(no wizard)");
        Fail("wizard page '" + Narrow(caption, CP_UTF8) + "' not shown; title is '" + now + "'");
    }
    current = sheet;
    Record("PAGE\t" + T(caption) + "\t" + T(TextOf(sheet)));
}

/* Waits for a message box (with this caption when one is given), records it,
 * presses `button` and waits until the box is gone. */
void DoBox(const std::wstring &caption, int button)
{
    HWND box = WaitFor(
        [&]() -> HWND {
            for (HWND w : TopWindows())
                if (IsMessageBox(w) && (caption.empty() || TextOf(w) == caption))
                    return w;
            return NULL;
        },
        defaultTimeout);
    if (!box)
        Fail("no message box" +
             (caption.empty() ? std::string() : " '" + Narrow(caption, CP_UTF8) + "'"));
    RecordBox(box);
    HWND b = GetDlgItem(box, button);
    if (!b)
        Fail("message box '" + T(TextOf(box)) + "' has no button " + std::to_string(button));
    Record("PRESS\t" + T(TextOf(box)) + "\t" + std::to_string(button));
    Click(b);
    WaitGone(box, "message box");
}

/* Waits for a dialog by title, presses one of its buttons and waits until it
 * has closed. */
void DoDialogButton(const std::wstring &title, int button)
{
    HWND w = WaitFor([&] { return FindTop(title); }, defaultTimeout);
    if (!w)
        Fail("no dialog '" + Narrow(title, CP_UTF8) + "'");
    HWND b = WaitFor(
        [&]() -> HWND {
            HWND c = GetDlgItem(w, button);
            return c && IsWindowEnabled(c) ? c : NULL;
        },
        defaultTimeout);
    if (!b)
        Fail("dialog '" + Narrow(title, CP_UTF8) + "' has no button " + std::to_string(button));
    Record("PRESS\t" + T(title) + "\t" + std::to_string(button));
    Click(b);
    WaitGone(w, "dialog '" + Narrow(title, CP_UTF8) + "'");
}

void DoCombo(int id, const std::wstring &entry)
{
    HWND combo = WaitControl(id, true);
    DWORD_PTR count = 0;
    SendMessageTimeoutW(combo, CB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 2000, &count);
    for (int i = 0; i < (int)count; i++) {
        wchar_t buf[1024] = { 0 };
        DWORD_PTR len = 0;
        SendMessageTimeoutW(combo, CB_GETLBTEXTLEN, i, 0, SMTO_ABORTIFHUNG, 2000, &len);
        if (len >= ARRAYSIZE(buf))
            continue;
        SendMessageTimeoutW(combo, CB_GETLBTEXT, i, (LPARAM)buf, SMTO_ABORTIFHUNG, 2000, &len);
        if (entry != buf)
            continue;
        SendMessageW(combo, CB_SETCURSEL, i, 0);
        PostMessageW(GetParent(combo), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), (LPARAM)combo);
        return;
    }
    Fail("combo " + std::to_string(id) + " has no entry '" + Narrow(entry, CP_UTF8) + "'");
}

std::wstring ComboSelection(HWND combo)
{
    DWORD_PTR sel = (DWORD_PTR)CB_ERR;
    SendMessageTimeoutW(combo, CB_GETCURSEL, 0, 0, SMTO_ABORTIFHUNG, 2000, &sel);
    if ((LRESULT)sel == CB_ERR)
        return std::wstring();
    wchar_t buf[1024] = { 0 };
    DWORD_PTR len = 0;
    SendMessageTimeoutW(combo, CB_GETLBTEXTLEN, sel, 0, SMTO_ABORTIFHUNG, 2000, &len);
    if (len >= ARRAYSIZE(buf))
        return std::wstring();
    SendMessageTimeoutW(combo, CB_GETLBTEXT, sel, (LPARAM)buf, SMTO_ABORTIFHUNG, 2000, &len);
    return buf;
}

/* Polls a condition on a control until it holds or the time-out passes, so
 * that changes the program makes after a posted message are seen. */
template <typename F>
void Expect(int id, F holds, const std::string &what)
{
    HWND c = WaitControl(id, false);
    std::string last;
    HWND ok = WaitFor([&]() -> HWND { return holds(c, &last) ? c : NULL; }, defaultTimeout);
    if (!ok)
        Fail("control " + std::to_string(id) + ": expected " + what + ", found " + last);
}

/* --- screenshots ----------------------------------------------------------
 * The X server is outside Wine's reach, so a screenshot is a request: the
 * robot writes <dir>\<name>.req holding the window's screen rectangle, and a
 * watcher outside Wine (tools/demo.sh) grabs the screen and removes the
 * request. Without KXROBOT_SHOTS the command does nothing. */
void DoScreenshot(const std::string &name)
{
    char dir[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("KXROBOT_SHOTS", dir, sizeof dir);
    if (n == 0 || n >= sizeof dir) {
        Record("SHOT\t" + name + "\tskipped");
        return;
    }
    HWND w = current && IsWindow(current) ? current : NULL;
    for (HWND b : TopWindows()) /* a message box on top wins */
        if (IsMessageBox(b)) {
            w = b;
            break;
        }
    RECT r = { 0, 0, 0, 0 };
    if (w) {
        /* Dialogs owned by the minimised host window open near the bottom of
         * the screen, partly below it; a window that does not fit is shown
         * centred for the picture. */
        GetWindowRect(w, &r);
        int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
        int width = r.right - r.left, height = r.bottom - r.top;
        if (r.left < 0 || r.top < 0 || r.right > sw || r.bottom > sh) {
            SetWindowPos(w, NULL, (sw - width) / 2, (sh - height) / 2, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            GetWindowRect(w, &r);
        }
    }
    Sleep(600); /* let the other process finish painting */
    std::string req = std::string(dir) + "\\" + name + ".req";
    std::string tmp = req + ".tmp";
    FILE *f = fopen(tmp.c_str(), "w");
    if (!f)
        Fail("cannot write " + tmp);
    fprintf(f, "%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    fclose(f);
    MoveFileA(tmp.c_str(), req.c_str());
    DWORD start = GetTickCount();
    while (GetFileAttributesA(req.c_str()) != INVALID_FILE_ATTRIBUTES) {
        if (GetTickCount() - start > 20000)
            Fail("screenshot " + name + " not taken");
        Sleep(100);
    }
    Record("SHOT\t" + name);
}

/* --- state dumps ---------------------------------------------------------- */

bool OpenRoot(const std::string &path, HKEY *root, std::string *sub)
{
    size_t bs = path.find('\\');
    std::string head = path.substr(0, bs);
    *sub = bs == std::string::npos ? std::string() : path.substr(bs + 1);
    if (head == "HKLM" || head == "HKEY_LOCAL_MACHINE")
        *root = HKEY_LOCAL_MACHINE;
    else if (head == "HKCU" || head == "HKEY_CURRENT_USER")
        *root = HKEY_CURRENT_USER;
    else
        return false;
    return true;
}

const char *TypeName(DWORD t)
{
    switch (t) {
    case REG_SZ:
        return "REG_SZ";
    case REG_EXPAND_SZ:
        return "REG_EXPAND_SZ";
    case REG_MULTI_SZ:
        return "REG_MULTI_SZ";
    case REG_DWORD:
        return "REG_DWORD";
    case REG_BINARY:
        return "REG_BINARY";
    default:
        return "REG_OTHER";
    }
}

/* One line per value: REG <key> <name> <type> <byte count> <data>; texts as
 * their bytes (zero bytes shown as \0), numbers in decimal, the rest in hex. */
void DumpKey(HKEY root, const std::string &label, const std::string &sub, bool recurse)
{
    HKEY key;
    if (RegOpenKeyExA(root, sub.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        Record("NOKEY\t" + label);
        return;
    }
    Record("KEY\t" + label);
    for (DWORD i = 0;; i++) {
        char name[512];
        DWORD nameLen = sizeof name, type = 0, size = 0;
        static BYTE data[65536];
        size = sizeof data;
        LONG rc = RegEnumValueA(key, i, name, &nameLen, NULL, &type, data, &size);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc != ERROR_SUCCESS)
            continue;
        std::string shown;
        if (type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ) {
            for (DWORD k = 0; k < size; k++) {
                if (data[k] == 0)
                    shown += "\\0";
                else
                    shown += Escape(std::string(1, (char)data[k]));
            }
        } else if (type == REG_DWORD && size == 4) {
            shown = std::to_string(*(DWORD *)data);
        } else {
            char b[4];
            for (DWORD k = 0; k < size; k++) {
                snprintf(b, sizeof b, "%02X", data[k]);
                shown += b;
            }
        }
        Record("REG\t" + label + "\t" + name + "\t" + TypeName(type) + "\t" + std::to_string(size) +
               "\t" + shown);
    }
    if (recurse) {
        std::vector<std::string> subs;
        for (DWORD i = 0;; i++) {
            char name[512];
            DWORD nameLen = sizeof name;
            if (RegEnumKeyExA(key, i, name, &nameLen, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
                break;
            subs.push_back(name);
        }
        for (const std::string &s : subs)
            DumpKey(root, label + "\\" + s, sub.empty() ? s : sub + "\\" + s, true);
    }
    RegCloseKey(key);
}

void DoDumpKey(const std::string &path, bool recurse)
{
    HKEY root;
    std::string sub;
    if (!OpenRoot(path, &root, &sub))
        Fail("registry path must start with HKLM or HKCU: " + path);
    DumpKey(root, path, sub, recurse);
}

std::string Str(const char *s)
{
    return s ? Escape(s) : std::string("(null)");
}

void DoDumpPrinters()
{
    DWORD needed = 0, count = 0;
    EnumPrintersA(PRINTER_ENUM_LOCAL, NULL, 2, NULL, 0, &needed, &count);
    std::vector<BYTE> buf(needed + 16);
    if (!EnumPrintersA(PRINTER_ENUM_LOCAL, NULL, 2, buf.data(), (DWORD)buf.size(), &needed,
                       &count)) {
        Record("PRINTERS\tfailed\t" + std::to_string(GetLastError()));
        return;
    }
    PRINTER_INFO_2A *p = (PRINTER_INFO_2A *)buf.data();
    for (DWORD i = 0; i < count; i++)
        Record("PRINTER\t" + Str(p[i].pPrinterName) + "\t" + Str(p[i].pPortName) + "\t" +
               Str(p[i].pDriverName) + "\t" + Str(p[i].pComment) + "\t" +
               Str(p[i].pPrintProcessor) + "\t" + std::to_string(p[i].Attributes) + "\t" +
               std::to_string(p[i].Priority));
}

void DoDumpDrivers()
{
    DWORD needed = 0, count = 0;
    EnumPrinterDriversA(NULL, NULL, 3, NULL, 0, &needed, &count);
    std::vector<BYTE> buf(needed + 16);
    if (!EnumPrinterDriversA(NULL, NULL, 3, buf.data(), (DWORD)buf.size(), &needed, &count)) {
        Record("DRIVERS\tfailed\t" + std::to_string(GetLastError()));
        return;
    }
    DRIVER_INFO_3A *d = (DRIVER_INFO_3A *)buf.data();
    for (DWORD i = 0; i < count; i++) {
        std::string deps;
        for (const char *s = d[i].pDependentFiles; s && *s; s += strlen(s) + 1)
            deps += std::string(s) + ";";
        Record("DRIVER\t" + Str(d[i].pName) + "\t" + Str(d[i].pEnvironment) + "\t" +
               std::to_string(d[i].cVersion) + "\t" + Str(d[i].pDriverPath) + "\t" +
               Str(d[i].pDataFile) + "\t" + Str(d[i].pConfigFile) + "\t" + Str(d[i].pHelpFile) +
               "\t" + deps + "\t" + Str(d[i].pMonitorName));
    }
}

void DoDumpMonitors()
{
    DWORD needed = 0, count = 0;
    EnumMonitorsA(NULL, 2, NULL, 0, &needed, &count);
    std::vector<BYTE> buf(needed + 16);
    if (!EnumMonitorsA(NULL, 2, buf.data(), (DWORD)buf.size(), &needed, &count)) {
        Record("MONITORS\tfailed\t" + std::to_string(GetLastError()));
        return;
    }
    MONITOR_INFO_2A *m = (MONITOR_INFO_2A *)buf.data();
    for (DWORD i = 0; i < count; i++)
        Record("MONITOR\t" + Str(m[i].pName) + "\t" + Str(m[i].pEnvironment) + "\t" +
               Str(m[i].pDLLName));
}

void DoDumpProfile(const std::string &rest)
{
    std::vector<std::string> w = Words(rest);
    if (w.size() != 2)
        Fail("dump-profile <section> <key>");
    char buf[1024];
    GetProfileStringA(w[0].c_str(), w[1].c_str(), "(none)", buf, sizeof buf);
    Record("PROFILE\t" + w[0] + "\t" + w[1] + "\t" + Escape(buf));
}

/* `save-key <HKLM|HKCU> <file>`: the whole hive as the registry itself saves
 * it (every key with its last write time), in one call: a snapshot of the
 * machine that `regedit /E` takes seconds for. */
void DoSaveKey(const std::string &rest)
{
    std::vector<std::string> w = Words(rest);
    HKEY root;
    std::string sub;
    if (w.size() != 2 || !OpenRoot(w[0], &root, &sub) || !sub.empty())
        Fail("save-key <HKLM|HKCU> <file>");
    HANDLE token;
    TOKEN_PRIVILEGES backup = {};
    backup.PrivilegeCount = 1;
    backup.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) {
        if (LookupPrivilegeValueA(NULL, "SeBackupPrivilege", &backup.Privileges[0].Luid))
            AdjustTokenPrivileges(token, FALSE, &backup, 0, NULL, NULL);
        CloseHandle(token);
    }
    DeleteFileA(w[1].c_str());
    LONG rc = RegSaveKeyA(root, w[1].c_str(), NULL);
    if (rc != ERROR_SUCCESS)
        Fail("save-key " + w[0] + ": error " + std::to_string(rc));
}

/* --- the child process ---------------------------------------------------- */

/* Starts a program with its folder (or the folder `cd` named) as the current
 * directory. `start` starts the program under test, which `wait-exit` waits
 * for; `spawn` starts a helper that is left running. */
void Launch(const std::string &rest, PROCESS_INFORMATION *pi)
{
    std::vector<std::string> w = Words(rest);
    if (w.empty())
        Fail("start <program> [arguments]");
    std::wstring exe = Widen(w[0]);
    std::wstring cmd = L"\"" + exe + L"\"" + Widen(rest.substr(w[0].size()));
    std::wstring dir = startDir.empty() ? exe.substr(0, exe.find_last_of(L'\\') + 1) : startDir;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    std::vector<wchar_t> line(cmd.begin(), cmd.end());
    line.push_back(0);
    if (!CreateProcessW(exe.c_str(), line.data(), NULL, NULL, FALSE, 0, NULL,
                        dir.empty() ? NULL : dir.c_str(), &si, pi))
        Fail("cannot start " + w[0] + " (error " + std::to_string(GetLastError()) + ")");
    CloseHandle(pi->hThread);
}

void DoStart(const Args &a)
{
    if (childStarted)
        Fail("the program started before has not ended yet");
    QueryPerformanceCounter(&childStart);
    Launch(a.text, &child);
    childStarted = true;
    Record("START\t" + Escape(a.text));
}

void DoSpawn(const Args &a)
{
    PROCESS_INFORMATION pi;
    Launch(a.text, &pi);
    CloseHandle(pi.hProcess);
    Record("SPAWN\t" + Escape(a.text));
}

std::string MsSinceStart()
{
    LARGE_INTEGER now, rate;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&rate);
    return std::to_string((now.QuadPart - childStart.QuadPart) * 1000 / rate.QuadPart);
}

/* The ended program's exit code, then the wall time from its start to its end
 * and the processor time it used (user and kernel) for the benchmarks. */
void ChildEnded()
{
    std::string wall = MsSinceStart();
    DWORD code = 0;
    FILETIME created, exited, kernel, user;
    ULONGLONG cpu = 0;
    GetExitCodeProcess(child.hProcess, &code);
    if (GetProcessTimes(child.hProcess, &created, &exited, &kernel, &user))
        cpu = ((ULONGLONG)kernel.dwHighDateTime << 32 | kernel.dwLowDateTime) +
              ((ULONGLONG)user.dwHighDateTime << 32 | user.dwLowDateTime);
    CloseHandle(child.hProcess);
    childStarted = false;
    Record("EXIT\t" + std::to_string(code));
    Record("TIMES\t" + wall + "\t" + std::to_string(cpu / 10000));
}

/* Waits for the started program to end: `wait-exit [ms] [user]`. A message box
 * that appears meanwhile is recorded and fails the step (nobody would answer
 * it), unless "user" says that a person works the program. */
void DoWaitExit(const Args &a)
{
    if (!childStarted)
        Fail("nothing was started");
    DWORD timeout = defaultTimeout;
    bool user = false;
    for (const std::string &word : Words(a.text)) {
        if (AllDigits(word))
            timeout = strtoul(word.c_str(), NULL, 10);
        else if (word == "user")
            user = true;
        else
            Fail("wait-exit [ms] [user]");
    }
    DWORD start = GetTickCount();
    size_t boxesBefore = boxCount;
    while (WaitForSingleObject(child.hProcess, 50) == WAIT_TIMEOUT) {
        ScanBoxes();
        if (!user && boxCount > boxesBefore)
            Fail("unexpected message box while waiting for the end");
        if (GetTickCount() - start > timeout)
            Fail("program still running");
    }
    ChildEnded();
}

/* A run without a user must show nothing: every visible top-level window of
 * the program (message boxes included) is recorded once, checked every 10 ms
 * until the program ends. */
void DoWaitExitQuiet(const Args &a)
{
    if (!childStarted)
        Fail("nothing was started");
    std::vector<HWND> seen;
    DWORD start = GetTickCount();
    while (WaitForSingleObject(child.hProcess, 10) == WAIT_TIMEOUT) {
        for (HWND w : TopWindows()) {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            if (pid != child.dwProcessId || !IsWindowVisible(w))
                continue;
            bool known = false;
            for (HWND s : seen)
                known = known || s == w;
            if (known)
                continue;
            seen.push_back(w);
            Record("WINDOW\t" + T(ClassOf(w)) + "\t" + T(TextOf(w)));
        }
        if (GetTickCount() - start > a.number)
            Fail("program still running");
    }
    ChildEnded();
}

/* The time from the start until a window of this title is visible. The title
 * is read without a message, so a program busy building its window is neither
 * held up nor waited for. */
void DoTimeWindow(const Args &a)
{
    std::wstring title = Widen(a.text);
    DWORD start = GetTickCount();
    for (;;) {
        for (HWND w : TopWindows()) {
            wchar_t buf[256];
            if (!IsWindowVisible(w) || !InternalGetWindowText(w, buf, ARRAYSIZE(buf)) ||
                title != buf)
                continue;
            Record("SHOWN\t" + T(title) + "\t" + MsSinceStart());
            current = w;
            return;
        }
        if (GetTickCount() - start > a.number)
            Fail("no window '" + a.text + "'");
        Sleep(10);
    }
}

/* --- the script ----------------------------------------------------------- */

void DoClick(const Args &a)
{
    HWND c = WaitControl(a.id, true);
    Record("CLICK\t" + std::to_string(a.id));
    Click(c);
}

int CheckState(HWND c)
{
    DWORD_PTR s = 0;
    SendMessageTimeoutW(c, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 2000, &s);
    return s == BST_CHECKED;
}

void DoCheck(const Args &a)
{
    HWND c = WaitControl(a.id, true);
    if (CheckState(c) == (int)a.number)
        return;
    Record("CLICK\t" + std::to_string(a.id));
    Click(c);
    Expect(
        a.id,
        [&](HWND h, std::string *last) {
            int v = CheckState(h);
            *last = std::to_string(v);
            return v == (int)a.number;
        },
        "check state " + std::to_string(a.number));
}

void DoType(const Args &a)
{
    HWND c = WaitControl(a.id, true);
    std::wstring text = Widen(a.text);
    DWORD_PTR r = 0;
    SendMessageTimeoutW(c, WM_SETTEXT, 0, (LPARAM)text.c_str(), SMTO_ABORTIFHUNG, 3000, &r);
    Record("TYPE\t" + std::to_string(a.id) + "\t" + T(text));
}

/* expect-text and expect-selected: the control's text or its selected entry. */
template <std::wstring (*Read)(HWND)>
void ExpectText(const Args &a)
{
    std::wstring want = Widen(a.text);
    Expect(
        a.id,
        [&](HWND c, std::string *last) {
            std::wstring t = Read(c);
            *last = "'" + Narrow(t, CP_UTF8) + "'";
            return t == want;
        },
        "'" + a.text + "'");
}

int Enabled(HWND c)
{
    return IsWindowEnabled(c) ? 1 : 0;
}

template <int (*Read)(HWND)>
void ExpectState(const Args &a)
{
    Expect(
        a.id,
        [&](HWND c, std::string *last) {
            int v = Read(c);
            *last = std::to_string(v);
            return v == (int)a.number;
        },
        std::to_string(a.number));
}

/* What a command takes after its name. */
enum Shape {
    kNothing,
    kText,       /* the rest of the line, as it is */
    kMs,         /* [ms] */
    kTextMs,     /* <text> [ms] */
    kTextButton, /* <text> <button id> */
    kId,         /* <id> */
    kIdText,     /* <id> <text> */
    kIdState,    /* <id> [0|1], 1 when left out */
};

struct Command {
    const char *name;
    Shape shape;
    void (*run)(const Args &);
};

const Command kCommands[] = {
    { "timeout", kMs, [](const Args &a) { defaultTimeout = a.number; } },
    { "note", kText, [](const Args &a) { Record("NOTE\t" + a.text); } },
    { "cd", kText, [](const Args &a) { startDir = Widen(a.text); } },
    { "start", kText, DoStart },
    { "spawn", kText, DoSpawn },
    { "wait-exit", kText, DoWaitExit },
    { "wait-exit-quiet", kMs, DoWaitExitQuiet },
    { "wait-window", kTextMs, DoWaitWindow },
    { "time-window", kTextMs, DoTimeWindow },
    { "wait-page", kTextMs, DoWaitPage },
    { "wait-gone", kTextMs, DoWaitGone },
    { "click", kId, DoClick },
    { "radio", kId, DoClick },
    { "check", kIdState, DoCheck },
    { "combo", kIdText, [](const Args &a) { DoCombo(a.id, Widen(a.text)); } },
    { "type", kIdText, DoType },
    { "expect-text", kIdText, ExpectText<TextOf> },
    { "expect-selected", kIdText, ExpectText<ComboSelection> },
    { "expect-checked", kIdState, ExpectState<CheckState> },
    { "expect-enabled", kIdState, ExpectState<Enabled> },
    { "ok-box", kText, [](const Args &a) { DoBox(Widen(a.text), IDOK); } },
    { "answer-box", kTextButton, [](const Args &a) { DoBox(Widen(a.text), (int)a.number); } },
    { "browse-cancel", kNothing,
      [](const Args &) { DoDialogButton(L"Browse for Folder", IDCANCEL); } },
    /* the offer to make the new printer the default: "&Stand. einst." or Cancel */
    { "default-printer", kText,
      [](const Args &a) {
          DoDialogButton(L"Dr. auf Standard setzen", a.text == "yes" ? 1025 : IDCANCEL);
      } },
    { "screenshot", kText, [](const Args &a) { DoScreenshot(a.text); } },
    { "dump-key", kText, [](const Args &a) { DoDumpKey(a.text, false); } },
    { "dump-tree", kText, [](const Args &a) { DoDumpKey(a.text, true); } },
    { "dump-printers", kNothing, [](const Args &) { DoDumpPrinters(); } },
    { "dump-drivers", kNothing, [](const Args &) { DoDumpDrivers(); } },
    { "dump-monitors", kNothing, [](const Args &) { DoDumpMonitors(); } },
    { "dump-profile", kText, [](const Args &a) { DoDumpProfile(a.text); } },
    { "save-key", kText, [](const Args &a) { DoSaveKey(a.text); } },
};

const char *const kUsage[] = {
    "", "<text>", "[ms]", "<text> [ms]", "<text> <button id>", "<id>", "<id> <text>", "<id> [0|1]"
};

/* Takes a line's arguments apart by the command's shape; false when they do
 * not fit it. */
bool TakeArgs(Shape shape, const std::string &rest, Args *a)
{
    size_t sp = rest.find(' '); /* the line has no trailing blanks */
    std::string first = rest.substr(0, sp);
    std::string after =
        sp == std::string::npos ? std::string() : rest.substr(rest.find_first_not_of(' ', sp));
    a->text = rest;
    a->number = defaultTimeout;
    switch (shape) {
    case kNothing:
        return rest.empty();
    case kText:
        return true;
    case kMs:
        if (!rest.empty())
            a->number = strtoul(rest.c_str(), NULL, 10);
        return rest.empty() || AllDigits(rest);
    case kTextMs:
        a->text = SplitTrailingNumber(rest, &a->number, defaultTimeout);
        return !a->text.empty();
    case kTextButton:
        a->text = SplitTrailingNumber(rest, &a->number, 0);
        return a->number != 0;
    case kId:
    case kIdText:
    case kIdState:
        if (!AllDigits(first))
            return false;
        a->id = atoi(first.c_str());
        a->text = after;
        if (shape == kId)
            return after.empty();
        if (shape == kIdText)
            return true;
        a->number = after.empty() ? 1 : after == "1";
        return after.empty() || after == "0" || after == "1";
    }
    return false;
}

void Execute(const std::string &line)
{
    size_t sp = line.find(' ');
    std::string cmd = line.substr(0, sp);
    std::string rest =
        sp == std::string::npos ? std::string() : line.substr(line.find_first_not_of(' ', sp));
    for (const Command &c : kCommands) {
        if (cmd != c.name)
            continue;
        Args a;
        if (!TakeArgs(c.shape, rest, &a))
            Fail(std::string("usage: ") + c.name + " " + kUsage[c.shape]);
        c.run(a);
        return;
    }
    Fail("unknown command '" + cmd + "'");
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: kxrobot <script> <transcript>\n");
        return 2;
    }
    FILE *script = fopen(argv[1], "rb");
    if (!script) {
        fprintf(stderr, "kxrobot: cannot read %s\n", argv[1]);
        return 2;
    }
    transcript = fopen(argv[2], "wb");
    if (!transcript) {
        fprintf(stderr, "kxrobot: cannot write %s\n", argv[2]);
        return 2;
    }

    char buf[2048];
    while (fgets(buf, sizeof buf, script)) {
        lineNo++;
        std::string line(buf);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        size_t i = 0;
        while (i < line.size() && line[i] == ' ')
            i++;
        line = line.substr(i);
        if (line.empty() || line[0] == '#')
            continue;
        Execute(line);
    }
    fclose(script);
    ScanBoxes();
    fclose(transcript);
    return 0;
}
