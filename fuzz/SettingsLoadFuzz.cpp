// A settings file as a person or a broken disk may leave it, read the way the
// program reads it at start-up (the INI file of its QSettings store). Without a
// readable "portstatus" every setting must keep its default; whatever was read,
// the start-up's uses of the values (port number, baud rate, data format, the
// four history addresses) must take them without harm; and what is then saved
// must read back as the same settings, through the file and through the
// in-memory store alike. A number is read only when it is a 32-bit number as
// written; anything else counts as missing.
#include "AppSettings.h"
#include "ConsolePort.h"
#include "FuzzCheck.h"
#include "MemorySettingsStore.h"
#include "QSettingsStore.h"

#include <QSettings>
#include <QVariant>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

std::string gFolder;

bool Same(const AppSettings& a, const AppSettings& b)
{
    return a.serialport == b.serialport && a.baud == b.baud && a.dataformat == b.dataformat && a.ip1 == b.ip1 &&
           a.ip2 == b.ip2 && a.ip3 == b.ip3 && a.ip4 == b.ip4 && a.portstatus == b.portstatus &&
           a.filename == b.filename && a.useethernet == b.useethernet;
}

// A fresh file name for every store: QSettings keeps files it has read, and a
// rewritten file of the same size within the same moment could pass for unchanged.
QString NextName()
{
    static unsigned counter = 0;
    return QString("Fuzz%1").arg(++counter);
}

std::string PathOf(const QString& name)
{
    return gFolder + "/Tavrix Corporation/" + name.toStdString() + ".ini";
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char folder[] = "/tmp/vennix-settings-fuzz-XXXXXX";
    FUZZ_CHECK(mkdtemp(folder) != nullptr);
    gFolder = folder;
    // The store's file lives in the user's config folder; this run's own.
    setenv("XDG_CONFIG_HOME", folder, 1);
    FUZZ_CHECK(system(("mkdir -p '" + gFolder + "/Tavrix Corporation'").c_str()) == 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString name = NextName();
    const std::string path = PathOf(name);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(file != nullptr);
    FUZZ_CHECK(std::fwrite(data, 1, size, file) == size);
    std::fclose(file);

    AppSettings loaded;
    bool hadPortStatus = false;
    {
        QSettingsStore store(name);
        hadPortStatus = store.ReadInt("portstatus", -1) != -1;
        loaded.Load(store);

        // The library's own reading of the same file: where it sees text, the
        // store's number must be that text read as a 32-bit number, or missing.
        QSettings raw(QString::fromStdString(path), QSettings::IniFormat);
        for (const char* key : {"portstatus", "useethernet"}) {
            const QVariant value = raw.value(key);
            if (value.typeId() != QMetaType::QString)
                continue;
            bool ok = false;
            const int number = value.toString().toInt(&ok);
            constexpr int32_t Missing = -7;
            FUZZ_CHECK(store.ReadInt(key, Missing) == (ok ? number : Missing));
        }
    }
    std::remove(path.c_str());
    if (!hadPortStatus)
        FUZZ_CHECK(Same(loaded, AppSettings()));

    // What start-up does with the values.
    const ConsolePort::Settings line{loaded.serialport, loaded.baud, loaded.dataformat};
    FUZZ_CHECK(line.PortNumber() >= 0);
    (void)line.BaudRate();
    FUZZ_CHECK(line.Parity() == NoParity || line.Parity() == OddParity || line.Parity() == EvenParity);
    FUZZ_CHECK(line.StopBits() == OneStopBit || line.StopBits() == TwoStopBits);
    for (const std::string* address : {&loaded.ip1, &loaded.ip2, &loaded.ip3, &loaded.ip4})
        (void)AppSettings::ParseDottedAddress(*address);

    // Saved and read again, through a file of the program's store...
    const QString againName = NextName();
    {
        QSettingsStore store(againName);
        loaded.Save(store);
        store.Sync();
    }
    AppSettings again;
    {
        QSettingsStore store(againName);
        again.Load(store);
    }
    std::remove(PathOf(againName).c_str());
    FUZZ_CHECK(Same(again, loaded));

    // ...and through the in-memory store.
    MemorySettingsStore memory;
    loaded.Save(memory);
    AppSettings fromMemory;
    fromMemory.Load(memory);
    FUZZ_CHECK(Same(fromMemory, loaded));
    return 0;
}
