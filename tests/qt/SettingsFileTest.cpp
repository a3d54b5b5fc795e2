#include "AppSettings.h"
#include "QSettingsStore.h"
#include "TempUserFolders.h"

#include <QFile>
#include <QtTest>

// The program's settings file as a person may have edited it, read and
// written through the store the program uses.
class SettingsFileTest : public QObject {
    Q_OBJECT

private:
    // One folder for the whole run: the settings library looks it up once.
    TempUserFolders folders;
    int files = 0;

    // Writes `contents` as the settings file of a fresh application name.
    QString WriteFile(const QByteArray& contents)
    {
        const QString name = QString("SettingsFileTest%1").arg(++files);
        const QString folder = QString::fromStdString((folders.Root() / "config" / "Tavrix Corporation").string());
        QDir().mkpath(folder);
        QFile file(folder + "/" + name + ".ini");
        if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size())
            qFatal("cannot write the settings file");
        return name;
    }

    static AppSettings Loaded(const QString& name)
    {
        QSettingsStore store(name);
        AppSettings settings;
        settings.Load(store);
        return settings;
    }

    static void ExpectDefaults(const AppSettings& loaded)
    {
        const AppSettings defaults;
        QCOMPARE(loaded.serialport, defaults.serialport);
        QCOMPARE(loaded.baud, defaults.baud);
        QCOMPARE(loaded.ip4, defaults.ip4);
        QCOMPARE(loaded.portstatus, defaults.portstatus);
        QCOMPARE(loaded.useethernet, defaults.useethernet);
        QCOMPARE(loaded.filename, defaults.filename);
    }

private slots:
    // Found by fuzzing the settings file: a value forged as a serialised list
    // of four thousand million entries makes the settings library ask for an
    // absurd amount of memory. It copes when it is refused; the value is
    // unusable, so the program starts with every default.
    void ForgedSerialisedValueGivesDefaults()
    {
        const QString name = WriteFile("[General]\n"
                                       "portstatus=@Variant(\\0\\0\\0\\t\\xff\\xff\\xff\\xff)\n"
                                       "serialport=COM7\n");
        ExpectDefaults(Loaded(name));
    }

    void PortStatusThatIsNoNumberGivesDefaults_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("text") << QByteArray("abc");
        // Wrapped to 32 bits this would read as 1 and open the port.
        QTest::newRow("beyond 32 bits") << QByteArray("4294967297");
        QTest::newRow("below 32 bits") << QByteArray("-2147483649");
        QTest::newRow("fraction") << QByteArray("1.5");
        QTest::newRow("list") << QByteArray("1, 2");
        QTest::newRow("minus one") << QByteArray("-1");
    }
    void PortStatusThatIsNoNumberGivesDefaults()
    {
        QFETCH(QByteArray, value);
        ExpectDefaults(Loaded(WriteFile("[General]\nserialport=COM7\nportstatus=" + value + "\n")));
    }

    // An unreadable number elsewhere counts as missing, as the store's rules
    // for a missing value say; the texts around it are kept, and numbers at
    // the ends of the 32-bit range are numbers.
    void UnreadableTabIsMissing_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("tab");
        QTest::newRow("text") << QByteArray("yes") << -1;
        QTest::newRow("wraps to 0") << QByteArray("4294967296") << -1;
        QTest::newRow("largest") << QByteArray("2147483647") << 2147483647;
        QTest::newRow("smallest") << QByteArray("-2147483648") << -2147483647 - 1;
    }
    void UnreadableTabIsMissing()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, tab);
        const AppSettings loaded = Loaded(WriteFile("[General]\nportstatus=2\nuseethernet=" + value + "\nbaud=9600\n"));
        QCOMPARE(loaded.portstatus, 2);
        QCOMPARE(loaded.useethernet, tab);
        QCOMPARE(loaded.baud, std::string("9600"));
        QCOMPARE(loaded.serialport, std::string());
    }

    // Texts that the file's own syntax would take for something else come back
    // as they were saved.
    void SavedTextsReadBackUnchanged()
    {
        AppSettings saved;
        saved.serialport = "@Variant(\\0\\0\\0\\t)";
        saved.baud = " 115200 ";
        saved.dataformat = "8n1; comment";
        saved.ip1 = "10.0.0.1, 10.0.0.2";
        saved.ip2 = "\"quoted\"";
        saved.ip3 = std::string("nul\0inside", 10);
        saved.filename = "/home/op/[General]/fw=1 %41.bin";
        saved.useethernet = INT32_MIN;
        const QString name = WriteFile("");
        {
            QSettingsStore store(name);
            saved.Save(store);
            store.Sync();
        }
        const AppSettings loaded = Loaded(name);
        QCOMPARE(loaded.serialport, saved.serialport);
        QCOMPARE(loaded.baud, saved.baud);
        QCOMPARE(loaded.dataformat, saved.dataformat);
        QCOMPARE(loaded.ip1, saved.ip1);
        QCOMPARE(loaded.ip2, saved.ip2);
        QCOMPARE(loaded.ip3, saved.ip3);
        QCOMPARE(loaded.filename, saved.filename);
        QCOMPARE(loaded.useethernet, saved.useethernet);
    }
};

QTEST_GUILESS_MAIN(SettingsFileTest)
#include "SettingsFileTest.moc"
