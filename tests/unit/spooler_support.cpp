#include "tests/unit/spooler_support.h"
#include "spooler/spooler.h"
#include <strsafe.h>

const char *const testModel[MODEL_SLOTS] = { "Kalyx Q70 PCL 6", "Kalyx Q90 PostScript",
                                             "Kalyx Q70/Q90 PCL 5e" };
static const char *const testFiles[MODEL_SLOTS][4] = {
    { "KXQ70.DLL", "KXQ70.GPD", "KXQ70UI.DLL", "KXQ70.HLP" },
    { "KXQ90PSDRV.DLL", "KXQ90PSLONG.PPD", "KXQ90PSUI.DLL", "KXQ90PSHELP.HLP" },
    { "K5.DLL", "K5.DAT", "K5UI.DLL", "K5.HLP" },
};

void UseTestModels(SetupStateRecord *state, DWORD selected, const char *port)
{
    for (int i = 0; i < MODEL_SLOTS; i++) {
        StringCchCopyA(state->modelName[i], NAME_CHARS, testModel[i]);
        StringCchCopyA(state->driverFile[i], FILE_CHARS, testFiles[i][0]);
        StringCchCopyA(state->dataFile[i], FILE_CHARS, testFiles[i][1]);
        StringCchCopyA(state->configFile[i], FILE_CHARS, testFiles[i][2]);
        StringCchCopyA(state->helpFile[i], FILE_CHARS, testFiles[i][3]);
    }
    StringCchCopyA(state->portName, PORT_CHARS, port);
    state->selectedComponents = selected;
}

std::string DependentListOf(const SetupStateRecord &state, int slot)
{
    std::string list;
    const char *names[4] = { state.driverFile[slot], state.dataFile[slot], state.configFile[slot],
                             state.helpFile[slot] };
    for (int n = 0; n < 4; n++)
        list.append(names[n], strlen(names[n]) + 1);
    list.push_back('\0');
    return list;
}

/* ---- the real spooler ---- */

const char printKey[] = "System\\CurrentControlSet\\Control\\Print";

std::string DriverKey(const char *model)
{
    return std::string(printKey) + "\\Environments\\" KX_SPOOLER_ENVIRONMENT
                                   "\\Drivers\\Version-3\\" + model;
}

std::vector<std::string> ListedMonitors()
{
    std::vector<std::string> names;
    std::vector<BYTE> buffer(16384);
    DWORD needed = 0, count = 0;
    if (EnumMonitorsA(NULL, 1, buffer.data(), (DWORD)buffer.size(), &needed, &count))
        for (DWORD i = 0; i < count; i++)
            names.push_back(((MONITOR_INFO_1A *)buffer.data())[i].pName);
    return names;
}

bool ReadPrinter(const char *name, PrinterFacts *facts)
{
    HANDLE printer;
    PRINTER_DEFAULTSA access = { NULL, NULL, PRINTER_ACCESS_USE };
    if (!OpenPrinterA((char *)name, &printer, &access))
        return false;
    std::vector<BYTE> buffer(8192);
    DWORD needed = 0;
    bool ok = GetPrinterA(printer, 2, buffer.data(), (DWORD)buffer.size(), &needed);
    ClosePrinter(printer);
    if (!ok)
        return false;
    const PRINTER_INFO_2A *info = (const PRINTER_INFO_2A *)buffer.data();
    auto text = [](const char *s) { return std::string(s ? s : "(null)"); };
    facts->name = text(info->pPrinterName);
    facts->driver = text(info->pDriverName);
    facts->comment = text(info->pComment);
    facts->port = text(info->pPortName);
    facts->processor = text(info->pPrintProcessor);
    facts->location = text(info->pLocation);
    facts->attributes = info->Attributes;
    facts->priority = info->Priority;
    return true;
}

void SeedDatatype(const char *model)
{
    HKEY key;
    std::string path = std::string(printKey) + "\\Printers\\" + model;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key,
                        NULL) == ERROR_SUCCESS) {
        RegSetValueExA(key, "Datatype", 0, REG_SZ, (const BYTE *)"RAW", 4);
        RegCloseKey(key);
    }
}

SpoolerPrefix::SpoolerPrefix() : copiedMonitor(false)
{
    print.reset(new RegistrySnapshot(HKEY_LOCAL_MACHINE, printKey));
    devices.reset(new RegistrySnapshot(HKEY_CURRENT_USER,
                                       "Software\\Microsoft\\Windows NT\\CurrentVersion\\Devices"));
    ports.reset(new RegistrySnapshot(HKEY_CURRENT_USER,
                                     "Software\\Microsoft\\Windows NT\\CurrentVersion\\PrinterPorts"));
    for (int i = 0; i < MODEL_SLOTS; i++)
        SeedDatatype(testModel[i]);

    char system[MAX_PATH];
    GetSystemDirectoryA(system, sizeof(system));
    monitorDll = std::string(system) + "\\tremon.dll";
    if (!FileExists(monitorDll)) {
        EXPECT_TRUE(CopyFileA(BuildPath("tools/tremon.dll").c_str(), monitorDll.c_str(), TRUE))
            << "tremon.dll not built? error " << GetLastError();
        copiedMonitor = true;
    }
}

void RemoveFromSpooler(const char *const models[MODEL_SLOTS])
{
    PRINTER_DEFAULTSA access = { NULL, NULL, PRINTER_ALL_ACCESS };
    for (int i = 0; i < MODEL_SLOTS; i++) {
        HANDLE printer;
        if (OpenPrinterA((char *)models[i], &printer, &access)) {
            DeletePrinter(printer);
            ClosePrinter(printer);
        }
        DeletePrinterDriverA(NULL, (char *)KX_SPOOLER_ENVIRONMENT, (char *)models[i]);
    }
    DeleteMonitorA(NULL, (char *)KX_SPOOLER_ENVIRONMENT, (char *)KX_MONITOR_NAME);
}

SpoolerPrefix::~SpoolerPrefix()
{
    RemoveFromSpooler(testModel);
    if (copiedMonitor && !DeleteFileA(monitorDll.c_str()))
        ADD_FAILURE() << "could not remove " << monitorDll << ": " << GetLastError();

    char directory[MAX_PATH];
    DWORD needed;
    if (GetPrinterDriverDirectoryA(NULL, NULL, 1, (BYTE *)directory, sizeof(directory), &needed))
        for (int i = 0; i < MODEL_SLOTS; i++)
            for (int n = 0; n < 4; n++)
                DeleteFileA((std::string(directory) + "\\3\\" + testFiles[i][n]).c_str());
    /* the snapshots restore the registry as they go */
}

/* ---- the recording fake ---- */

DECLARE_IMPORT_SLOT(EnumMonitorsA);
DECLARE_IMPORT_SLOT(AddMonitorA);
DECLARE_IMPORT_SLOT(DeletePrinterDriverA);
DECLARE_IMPORT_SLOT(AddPrinterDriverA);
DECLARE_IMPORT_SLOT(OpenPrinterA);
DECLARE_IMPORT_SLOT(DeletePrinter);
DECLARE_IMPORT_SLOT(ClosePrinter);
DECLARE_IMPORT_SLOT(AddPrinterA);

static FakeSpooler *fake;
static std::vector<std::string> handleNames; /* fake handle n names handleNames[n-1] */

static HANDLE HandleFor(const std::string &name)
{
    handleNames.push_back(name);
    return (HANDLE)(ULONG_PTR)handleNames.size();
}

static std::string Text(const char *s) { return s ? s : ""; }

static BOOL Refuse(const std::set<std::string> &refused, const std::string &name)
{
    if (!refused.count(name))
        return TRUE;
    SetLastError(fake->refusal);
    return FALSE;
}

static BOOL WINAPI FakeEnumMonitors(LPSTR, DWORD level, LPBYTE buffer, DWORD bytes,
                                    LPDWORD needed, LPDWORD count)
{
    fake->calls.push_back("EnumMonitors");
    fake->enumLevel = level;
    fake->enumBytes = bytes;
    DWORD size = (DWORD)(fake->monitors.size() * sizeof(MONITOR_INFO_1A));
    for (size_t i = 0; i < fake->monitors.size(); i++)
        size += (DWORD)fake->monitors[i].size() + 1;
    *needed = size;
    *count = 0;
    if (size > bytes) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    MONITOR_INFO_1A *entries = (MONITOR_INFO_1A *)buffer;
    char *texts = (char *)(entries + fake->monitors.size());
    for (size_t i = 0; i < fake->monitors.size(); i++) {
        entries[i].pName = texts;
        memcpy(texts, fake->monitors[i].c_str(), fake->monitors[i].size() + 1);
        texts += fake->monitors[i].size() + 1;
    }
    *count = (DWORD)fake->monitors.size();
    return TRUE;
}

static BOOL WINAPI FakeAddMonitor(LPSTR, DWORD level, LPBYTE record)
{
    fake->calls.push_back("AddMonitor");
    const MONITOR_INFO_2A *monitor = (const MONITOR_INFO_2A *)record;
    fake->addedMonitor = { Text(monitor->pName), Text(monitor->pEnvironment), Text(monitor->pDLLName) };
    for (size_t i = 0; i < fake->monitors.size(); i++)
        if (fake->monitors[i] == fake->addedMonitor[0]) {
            SetLastError(ERROR_PRINT_MONITOR_ALREADY_INSTALLED);
            return FALSE;
        }
    fake->monitors.push_back(fake->addedMonitor[0]);
    return level == 2;
}

static BOOL WINAPI FakeDeletePrinterDriver(LPSTR server, LPSTR environment, LPSTR name)
{
    fake->calls.push_back("DeleteDriver " + Text(name) + (server || environment ? " (not local)" : ""));
    if (fake->drivers.count(Text(name)) && fake->existing.count(Text(name))) {
        SetLastError(ERROR_PRINTER_DRIVER_IN_USE);
        return FALSE;
    }
    if (!Refuse(fake->refuseDriverRemoval, Text(name)))
        return FALSE;
    /* as Wine's spooler: a driver that is not there is refused without an error */
    return fake->drivers.erase(Text(name)) != 0;
}

static BOOL WINAPI FakeAddPrinterDriver(LPSTR server, DWORD level, LPBYTE record)
{
    const DRIVER_INFO_3A *info = (const DRIVER_INFO_3A *)record;
    fake->calls.push_back("AddDriver " + Text(info->pName) + (level != 3 || server ? " (odd call)" : ""));
    fake->driverMonitors.push_back(Text(info->pMonitorName));
    return Refuse(fake->refuseDriver, Text(info->pName));
}

static BOOL WINAPI FakeOpenPrinter(LPSTR name, LPHANDLE handle, LPPRINTER_DEFAULTSA defaults)
{
    fake->calls.push_back("Open " + Text(name));
    fake->openAccess.push_back(defaults ? defaults->DesiredAccess : 0);
    if (!fake->existing.count(Text(name))) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return FALSE;
    }
    *handle = HandleFor(name);
    return TRUE;
}

static BOOL WINAPI FakeDeletePrinter(HANDLE handle)
{
    std::string name = handleNames.at((ULONG_PTR)handle - 1);
    fake->calls.push_back("DeletePrinter " + name);
    if (!Refuse(fake->refuseDelete, name))
        return FALSE;
    fake->existing.erase(name);
    return TRUE;
}

static BOOL WINAPI FakeClosePrinter(HANDLE handle)
{
    fake->calls.push_back("Close " + handleNames.at((ULONG_PTR)handle - 1));
    return TRUE;
}

static HANDLE WINAPI FakeAddPrinter(LPSTR server, DWORD level, LPBYTE record)
{
    const PRINTER_INFO_2A *info = (const PRINTER_INFO_2A *)record;
    std::string name = Text(info->pPrinterName);
    fake->calls.push_back("AddPrinter " + name + (level != 2 || server ? " (odd call)" : ""));
    fake->printerPorts.push_back(Text(info->pPortName));
    fake->existing.insert(name);
    return HandleFor(name);
}

FakeSpooler::FakeSpooler()
{
    fake = this;
    handleNames.clear();
    void **slots[] = { IMPORT_SLOT(EnumMonitorsA), IMPORT_SLOT(AddMonitorA),
                       IMPORT_SLOT(DeletePrinterDriverA), IMPORT_SLOT(AddPrinterDriverA),
                       IMPORT_SLOT(OpenPrinterA), IMPORT_SLOT(DeletePrinter),
                       IMPORT_SLOT(ClosePrinter), IMPORT_SLOT(AddPrinterA) };
    void *fakes[] = { (void *)FakeEnumMonitors, (void *)FakeAddMonitor,
                      (void *)FakeDeletePrinterDriver, (void *)FakeAddPrinterDriver,
                      (void *)FakeOpenPrinter, (void *)FakeDeletePrinter,
                      (void *)FakeClosePrinter, (void *)FakeAddPrinter };
    for (size_t i = 0; i < ARRAYSIZE(slots); i++)
        patches.emplace_back(new ScopedImport(slots[i], fakes[i]));
}

FakeSpooler::~FakeSpooler()
{
    patches.clear();
    fake = NULL;
}

size_t FakeSpooler::Count(const std::string &call) const
{
    size_t n = 0;
    for (size_t i = 0; i < calls.size(); i++)
        n += calls[i].compare(0, call.size(), call) == 0;
    return n;
}
