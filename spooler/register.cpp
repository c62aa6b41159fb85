#include "spooler/spooler.h"
#include "base/base.h"
#include <winspool.h>
#include <string.h>

#define MONITOR_LIST_BYTES 80
#define DEPENDENT_LIST_BYTES 256

static char monitorName[] = KX_MONITOR_NAME;
static char spoolerEnvironment[] = KX_SPOOLER_ENVIRONMENT;
static char monitorDll[] = "tremon.dll";
static char printProcessor[] = "WinPrint";
static char noLocation[] = "";

/* The small buffer is deliberate: a spooler whose list does not fit gets the
 * monitor added without a look, and a second addition is harmless. */
static void EnsureMonitor(void)
{
    BYTE list[MONITOR_LIST_BYTES];
    DWORD needed = 0, count = 0;

    if (EnumMonitorsA(NULL, 1, list, sizeof(list), &needed, &count)) {
        const MONITOR_INFO_1A *entries = (const MONITOR_INFO_1A *)list;
        for (DWORD i = 0; i < count; i++)
            if (entries[i].pName && lstrcmpA(entries[i].pName, monitorName) == 0)
                return;
    }

    MONITOR_INFO_2A monitor;
    monitor.pName = monitorName;
    monitor.pEnvironment = spoolerEnvironment;
    monitor.pDLLName = monitorDll;
    if (!Act("spooler add monitor \"%s\" environment \"%s\" dll \"%s\"", monitorName,
             spoolerEnvironment, monitorDll))
        return;
    BOOL added = AddMonitorA(NULL, 2, (LPBYTE)&monitor);
    DWORD code = added ? NO_ERROR : GetLastError();
    if (code == ERROR_PRINT_MONITOR_ALREADY_INSTALLED)
        LogLine("  already present");
    else
        ActDone(added, code);
}

/* Each name followed by its zero, then an empty entry; names are bounded by
 * their 32-byte fields, so four of them always fit. */
static void BuildDependentFiles(char *list, const char *const names[4])
{
    size_t used = 0;
    for (int n = 0; n < 4; n++) {
        size_t length = strnlen(names[n], FILE_CHARS - 1);
        memcpy(list + used, names[n], length);
        used += length;
        list[used++] = '\0';
    }
    list[used] = '\0';
}

/* Deletes the printer bearing `name` when there is one that may be administered. */
static void DeleteExistingPrinter(char *name)
{
    PRINTER_DEFAULTSA access = { NULL, NULL, PRINTER_ALL_ACCESS };
    HANDLE printer = NULL;

    if (!OpenPrinterA(name, &printer, &access))
        return;
    if (Act("spooler delete printer \"%s\"", name)) {
        BOOL deleted = DeletePrinter(printer);
        DWORD code = deleted ? 0 : GetLastError();
        ActDone(deleted, code);
        if (!deleted)
            ShowSystemError(code, KX_CAPTION_DELETE_PRINTER);
    }
    ClosePrinter(printer);
}

/* Its result is not needed: a driver that is not there is no fault. */
static void DeleteDriver(char *model)
{
    if (!Act("spooler delete driver \"%s\"", model))
        return;
    BOOL deleted = DeletePrinterDriverA(NULL, NULL, model);
    ActDone(deleted, GetLastError());
}

static int AddDriver(DRIVER_INFO_3A *driver)
{
    if (!Act("spooler add driver \"%s\" environment \"%s\" version %lu driver \"%s\" data \"%s\" "
             "config \"%s\" help \"%s\" monitor \"%s\"", driver->pName, driver->pEnvironment,
             (unsigned long)driver->cVersion, driver->pDriverPath, driver->pDataFile,
             driver->pConfigFile, driver->pHelpFile, driver->pMonitorName))
        return 1;
    BOOL added = AddPrinterDriverA(NULL, 3, (LPBYTE)driver);
    DWORD code = added ? 0 : GetLastError();
    ActDone(added, code);
    if (!added)
        ShowSystemError(code, KX_CAPTION_ADD_DRIVER);
    return added;
}

/* The handle the spooler hands back is used for nothing. */
static int AddPrinter(PRINTER_INFO_2A *printer)
{
    if (!Act("spooler add printer \"%s\" driver \"%s\" port \"%s\" processor \"%s\"",
             printer->pPrinterName, printer->pDriverName, printer->pPortName,
             printer->pPrintProcessor))
        return 1;
    HANDLE added = AddPrinterA(NULL, 2, (LPBYTE)printer);
    DWORD code = added ? 0 : GetLastError();
    ActDone(added != NULL, code);
    if (!added) {
        ShowSystemError(code, KX_CAPTION_ADD_PRINTER);
        return 0;
    }
    ClosePrinter(added);
    return 1;
}

int AddPrinters(SetupStateRecord *state)
{
    char dependentFiles[DEPENDENT_LIST_BYTES];
    DRIVER_INFO_3A driver;
    PRINTER_INFO_2A printer;

    EnsureMonitor();

    ZeroMemory(&driver, sizeof(driver));
    driver.cVersion = 2;
    driver.pEnvironment = spoolerEnvironment;
    driver.pDependentFiles = dependentFiles;
    driver.pMonitorName = monitorName;
    driver.pDefaultDataType = NULL;

    ZeroMemory(&printer, sizeof(printer));
    printer.pPortName = state->portName;
    printer.pLocation = noLocation;
    printer.pPrintProcessor = printProcessor;
    printer.Attributes = PRINTER_ATTRIBUTE_DEFAULT;
    printer.Priority = 1;

    for (int slot = 0; slot < MODEL_SLOTS; slot++) {
        if (!(state->selectedComponents & (1u << slot)))
            continue;

        char *model = state->modelName[slot];
        const char *const files[4] = { state->driverFile[slot], state->dataFile[slot],
                                       state->configFile[slot], state->helpFile[slot] };
        driver.pName = model;
        driver.pDriverPath = state->driverFile[slot];
        driver.pDataFile = state->dataFile[slot];
        driver.pConfigFile = state->configFile[slot];
        driver.pHelpFile = state->helpFile[slot];
        BuildDependentFiles(dependentFiles, files);
        printer.pPrinterName = model;
        printer.pDriverName = model;
        printer.pComment = model;

        DeleteDriver(model);
        if (!AddDriver(&driver))
            return 0;
        DeleteExistingPrinter(model);
        if (!AddPrinter(&printer))
            return 0;
    }
    return 1;
}

/* The spooler keeps a driver while a printer uses it, so removal takes the
 * printer first. */
void RemovePrinters(SetupStateRecord *state)
{
    for (int slot = 0; slot < MODEL_SLOTS; slot++) {
        if (!(state->selectedComponents & (1u << slot)))
            continue;
        DeleteExistingPrinter(state->modelName[slot]);
        DeleteDriver(state->modelName[slot]);
    }
}
