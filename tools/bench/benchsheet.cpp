/* benchsheet.exe: the reference for the start-up benchmark, a bare wizard of
 * one page whose template is like the welcome page of kxsetup.exe. It shows
 * the page until it is cancelled. */
#include <windows.h>
#include <commctrl.h>

static INT_PTR CALLBACK PageProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    PROPSHEETPAGEA page;
    PROPSHEETHEADERA header;

    ZeroMemory(&page, sizeof(page));
    page.dwSize = PROPSHEETPAGEA_V1_SIZE;
    page.hInstance = instance;
    page.pszTemplate = MAKEINTRESOURCEA(100);
    page.pfnDlgProc = PageProc;
    ZeroMemory(&header, sizeof(header));
    header.dwSize = PROPSHEETHEADERA_V1_SIZE;
    header.dwFlags = PSH_PROPSHEETPAGE | PSH_WIZARD | PSH_NOAPPLYNOW;
    header.pszCaption = "Bench";
    header.nPages = 1;
    header.ppsp = &page;
    return (int)PropertySheetA(&header);
}
