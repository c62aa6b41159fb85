#include "tests/unit/regwrite_support.h"

DECLARE_IMPORT_SLOT(RegSetValueExA);

typedef LONG(WINAPI *RegSetValueExAFn)(HKEY, LPCSTR, DWORD, DWORD, const BYTE *, DWORD);

static RegWriteRecorder *active;
static RegSetValueExAFn realRegSetValueExA;

static LONG WINAPI RecordingRegSetValueExA(HKEY key, LPCSTR name, DWORD reserved, DWORD type,
                                           const BYTE *data, DWORD size)
{
    RecordedRegWrite write;
    write.name = name ? name : "";
    write.type = type;
    write.bytes.assign(reinterpret_cast<const char *>(data), size);
    active->writes.push_back(write);
    return realRegSetValueExA(key, name, reserved, type, data, size);
}

RegWriteRecorder::RegWriteRecorder()
{
    realRegSetValueExA = reinterpret_cast<RegSetValueExAFn>(*IMPORT_SLOT(RegSetValueExA));
    active = this;
    patch.reset(new ScopedImport(IMPORT_SLOT(RegSetValueExA),
                                 reinterpret_cast<void *>(RecordingRegSetValueExA)));
}

RegWriteRecorder::~RegWriteRecorder()
{
    patch.reset();
    active = nullptr;
}

const RecordedRegWrite *RegWriteRecorder::Find(const char *name) const
{
    for (size_t i = 0; i < writes.size(); i++)
        if (writes[i].name == name)
            return &writes[i];
    return nullptr;
}
