/* benchfloor.exe: the API floor of the install benchmark. It makes the calls a
 * quiet Express install of the medium it stands on must make, and nothing else:
 * the SetupAPI queue of the same copies and sections and its commit, the class
 * section, the installation record and uninstall entry, the language monitor,
 * and each model's driver and printer. No window, no log, no checks, no choices:
 * the model list and the file names come straight from oemsetup.inf; a value
 * that does not fit its buffer is cut. Exit code 0 when every call succeeded,
 * 1 otherwise.
 *
 *   benchfloor.exe */
#include <windows.h>
#include <setupapi.h>
#include <winspool.h>
#include <stdio.h>
#include <string.h>

#ifdef _WIN64
static char environment[] = "Windows x64";
#else
static char environment[] = "Windows NT x86";
#endif
static char monitorName[] = "Tremaro PJL Language Monitor";
static char monitorDll[] = "tremon.dll";
static char printProcessor[] = "WinPrint";
static char noText[] = "";
static const char statusFolder[] = "C:\\STATUS";
static const char productKey[] = "Software\\VelbaPrinter\\VelbaProduct\\PrinterInfo\\";
static const char uninstallKey[] =
    "SoftWare\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VelbaProduct";

struct Model {
    char name[64], section[64], driver[32], data[32], config[32], help[32];
};

static Model models[3];
static int modelCount;
static int failed;

static void Check(BOOL done)
{
    if (!done)
        failed = 1;
}

static void Field(HINF inf, const char *section, const char *key, char *text, DWORD chars)
{
    text[0] = 0;
    SetupGetLineTextA(NULL, inf, section, key, text, chars, NULL);
}

static void ReadModels(HINF inf)
{
    char manufacturer[64], dataSection[64];
    INFCONTEXT line;

    INFCONTEXT first;
    if (!SetupFindFirstLineA(inf, "Manufacturer", NULL, &first) ||
        !SetupGetStringFieldA(&first, 0, manufacturer, sizeof(manufacturer), NULL) ||
        !SetupFindFirstLineA(inf, manufacturer, NULL, &line))
        return;
    do {
        Model *model = &models[modelCount];
        SetupGetStringFieldA(&line, 0, model->name, sizeof(model->name), NULL);
        SetupGetStringFieldA(&line, 1, model->section, sizeof(model->section), NULL);
        Field(inf, model->section, "DataFile", model->data, sizeof(model->data));
        Field(inf, model->section, "DataSection", dataSection, sizeof(dataSection));
        Field(inf, dataSection, "DriverFile", model->driver, sizeof(model->driver));
        Field(inf, dataSection, "ConfigFile", model->config, sizeof(model->config));
        Field(inf, dataSection, "HelpFile", model->help, sizeof(model->help));
        modelCount++;
    } while (modelCount < 3 && SetupFindNextLine(&line, &line));
}

static UINT CALLBACK QuietAnswer(PVOID, UINT notification, UINT_PTR, UINT_PTR)
{
    if (notification & (SPFILENOTIFY_LANGMISMATCH | SPFILENOTIFY_TARGETEXISTS |
                        SPFILENOTIFY_TARGETNEWER))
        return FALSE;
    switch (notification) {
    case SPFILENOTIFY_STARTQUEUE:
    case SPFILENOTIFY_STARTSUBQUEUE:
        return TRUE;
    case SPFILENOTIFY_STARTCOPY:
    case SPFILENOTIFY_STARTDELETE:
    case SPFILENOTIFY_STARTRENAME:
    case SPFILENOTIFY_NEEDMEDIA:
        return FILEOP_DOIT;
    case SPFILENOTIFY_DELETEERROR:
        return FILEOP_SKIP;
    case SPFILENOTIFY_COPYERROR:
    case SPFILENOTIFY_RENAMEERROR:
        return FILEOP_ABORT;
    }
    return 0;
}

static void Queue(HSPFILEQ queue, const char *medium, const char *file, const char *target,
                  DWORD style)
{
    if (file[0])
        Check(SetupQueueCopyA(queue, medium, NULL, file, NULL, NULL, target, NULL, style));
}

static void SetString(HKEY key, const char *name, const char *text)
{
    Check(RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text, lstrlenA(text)) ==
          ERROR_SUCCESS);
}

static void SetNumber(HKEY key, const char *name, DWORD value)
{
    Check(RegSetValueExA(key, name, 0, REG_DWORD, (const BYTE *)&value, sizeof(value)) ==
          ERROR_SUCCESS);
}

static void WriteRecord(void)
{
    HKEY key;

    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, productKey, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key,
                        NULL) != ERROR_SUCCESS) {
        failed = 1;
        return;
    }
    char text[MAX_PATH + 32];
    sprintf(text, "%d", (1 << modelCount) - 1 + 8);
    SetString(key, "InstallSections", text);
    sprintf(text, "%s=66010", statusFolder);
    SetString(key, "StatusDisplayDir", text);
    SetString(key, "ControlPanelDir", text);
    RegCloseKey(key);
}

static void WriteUninstallEntry(DWORD kilobytes)
{
    HKEY key;
    char text[MAX_PATH + 32];

    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, uninstallKey, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key,
                        NULL) != ERROR_SUCCESS) {
        failed = 1;
        return;
    }
    SetString(key, "DisplayName", "Velba Printer Version 1.0");
    SetString(key, "DisplayVersion", "1.0");
    SetString(key, "Publisher", "Velba");
    SetNumber(key, "VersionMajor", 1);
    SetNumber(key, "VersionMinor", 0);
    sprintf(text, "\"%s\\kxsetup.exe\" Uninstall", statusFolder);
    SetString(key, "UninstallString", text);
    strcat(text, " /quiet");
    SetString(key, "QuietUninstallString", text);
    sprintf(text, "%s\\kxsetup.exe,0", statusFolder);
    SetString(key, "DisplayIcon", text);
    SetString(key, "InstallLocation", statusFolder);
    SetString(key, "InstallDate", "20260101");
    SetNumber(key, "EstimatedSize", kilobytes);
    SetNumber(key, "NoModify", 1);
    SetNumber(key, "NoRepair", 1);
    RegCloseKey(key);
}

static void AddPrinters(void)
{
    MONITOR_INFO_2A monitor = { monitorName, environment, monitorDll };
    BYTE monitors[80];
    DWORD needed, count;

    EnumMonitorsA(NULL, 1, monitors, sizeof(monitors), &needed, &count);
    AddMonitorA(NULL, 2, (LPBYTE)&monitor);
    for (int i = 0; i < modelCount; i++) {
        Model *model = &models[i];
        char dependent[4 * 32 + 1], *next = dependent;
        const char *files[4] = { model->driver, model->data, model->config, model->help };
        for (int n = 0; n < 4; n++) {
            strcpy(next, files[n]);
            next += strlen(next) + 1;
        }
        *next = 0;

        DRIVER_INFO_3A driver;
        ZeroMemory(&driver, sizeof(driver));
        driver.cVersion = 2;
        driver.pName = model->name;
        driver.pEnvironment = environment;
        driver.pDriverPath = model->driver;
        driver.pDataFile = model->data;
        driver.pConfigFile = model->config;
        driver.pHelpFile = model->help;
        driver.pDependentFiles = dependent;
        driver.pMonitorName = monitorName;
        DeletePrinterDriverA(NULL, NULL, model->name);
        Check(AddPrinterDriverA(NULL, 3, (LPBYTE)&driver));

        PRINTER_DEFAULTSA access = { NULL, NULL, PRINTER_ALL_ACCESS };
        HANDLE printer = NULL;
        if (OpenPrinterA(model->name, &printer, &access))
            ClosePrinter(printer);

        PRINTER_INFO_2A info;
        ZeroMemory(&info, sizeof(info));
        info.pPrinterName = model->name;
        info.pDriverName = model->name;
        info.pComment = model->name;
        info.pPortName = (LPSTR) "LPT1:";
        info.pLocation = noText;
        info.pPrintProcessor = printProcessor;
        info.Attributes = PRINTER_ATTRIBUTE_DEFAULT;
        info.Priority = 1;
        printer = AddPrinterA(NULL, 2, (LPBYTE)&info);
        Check(printer != NULL);
        if (printer)
            ClosePrinter(printer);
    }
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char medium[MAX_PATH], infPath[MAX_PATH], system[MAX_PATH], driverFolder[MAX_PATH];
    char versionFolder[MAX_PATH];
    DWORD needed;

    GetModuleFileNameA(NULL, medium, sizeof(medium));
    strrchr(medium, '\\')[1] = 0;
    sprintf(infPath, "%soemsetup.inf", medium);
    GetSystemDirectoryA(system, sizeof(system));
    GetPrinterDriverDirectoryA(NULL, NULL, 1, (LPBYTE)driverFolder, sizeof(driverFolder),
                               &needed);
    sprintf(versionFolder, "%s\\2", driverFolder);

    HINF inf = SetupOpenInfFileA(infPath, NULL, INF_STYLE_WIN4, NULL);
    if (inf == INVALID_HANDLE_VALUE)
        return 1;
    ReadModels(inf);
    Check(SetupSetDirectoryIdA(inf, 66000, versionFolder));
    WriteRecord();
    Check(SetupSetDirectoryIdA(inf, 66010, statusFolder));

    HSPFILEQ queue = SetupOpenFileQueue();
    Queue(queue, medium, "kxsetup.exe", statusFolder, SP_COPY_NEWER);
    Queue(queue, medium, "oemsetup.inf", statusFolder, SP_COPY_NEWER);
    Check(SetupQueueCopyA(queue, medium, NULL, "tremon.dll", NULL, NULL, system, "tremon.dll",
                          SP_COPY_FORCE_IN_USE));
    for (int i = 0; i < modelCount; i++) {
        Queue(queue, medium, models[i].driver, driverFolder, SP_COPY_FORCE_IN_USE);
        Queue(queue, medium, models[i].config, driverFolder, SP_COPY_FORCE_IN_USE);
        Queue(queue, medium, models[i].data, driverFolder, SP_COPY_FORCE_IN_USE);
        Queue(queue, medium, models[i].help, driverFolder, SP_COPY_FORCE_IN_USE);
    }
    for (int i = 0; i < modelCount; i++)
        Check(SetupInstallFilesFromInfSectionA(inf, NULL, queue, models[i].section, medium,
                                               SP_COPY_NEWER));
    Check(SetupInstallFilesFromInfSectionA(inf, NULL, queue, "StatusDisplay", medium,
                                           SP_COPY_NEWER));
    CreateDirectoryA(statusFolder, NULL);
    Check(SetupCommitFileQueueA(NULL, queue, QuietAnswer, NULL));
    SetupCloseFileQueue(queue);
    /* The size the install records is the sum of what it copied; any number
     * costs the same call. */
    WriteUninstallEntry(30000);
    Check(SetupInstallFromInfSectionA(NULL, inf, "ClassInstall",
                                      SPINST_INIFILES | SPINST_REGISTRY, NULL, NULL, 0, NULL,
                                      NULL, NULL, NULL));
    SetupCloseInfFile(inf);
    AddPrinters();
    return failed;
}
