#include "settings/SettingsTestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLockFile>
#include <QProcess>
#include <QSet>

using namespace lumora;

namespace {

// QSettings shares one cache per file inside a process, so "another writer" writes a second
// file and copies it over, as a hand edit or another process would.
void writeAsAnotherProcess(const QString& path, const QList<Preset>& presets,
                           const QString& scratch) {
    {
        QSettings other(scratch, QSettings::IniFormat);
        other.setValue("presets", QString::fromUtf8(*Preset::encodeList(presets)));
        other.setValue("speed", 2.5);
    }
    QFile::remove(path);
    ASSERT_TRUE(QFile::copy(scratch, path));
}

} // namespace

using Hardening = SettingsTest;

TEST_F(Hardening, AFileThatIsNotUtf8IsKeptBeforeItIsRewritten) {
    const QString path = m_dir.filePath("latin1.conf");
    const QByteArray original = "[General]\nnote=caf\xe9\nspeed=2\n";
    writeText(path, original);
    testing::internal::CaptureStderr();
    Settings s(path);
    s.setSpeed(3.0);
    s.sync();
    s.setSpeed(4.0);
    s.sync();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(readText(path + ".bak"), original);
    expectOneWarningNaming(err, path + ".bak");
    EXPECT_NE(err.find("UTF-8"), std::string::npos) << err;
    EXPECT_EQ(Settings(path).speed(), 4.0);

    // Valid text, accents included, needs no copy.
    const QString fine = m_dir.filePath("fine.conf");
    writeText(fine, "[General]\nnote=caf\xc3\xa9\n");
    Settings(fine).setSpeed(2.0);
    EXPECT_FALSE(QFile::exists(fine + ".bak"));
}

TEST_F(Hardening, ALockWithoutOwnerDelaysAWriteAtMostASecondAndIsRemovedAtStart) {
    m_settings.setSpeed(1.5);
    m_settings.sync();
    const QString lockPath = m_path + ".lock";
    writeText(lockPath, ""); // killed between creating and filling it

    testing::internal::CaptureStderr();
    QElapsedTimer timer;
    timer.start();
    m_settings.setSpeed(2.0);
    m_settings.sync();
    m_settings.savePreset("Dusk");
    QCoreApplication::processEvents();
    // Without the limit QSettings waits until the lock is 30 s old.
    EXPECT_LT(timer.elapsed(), 5000);
    const std::string err = testing::internal::GetCapturedStderr();
    expectOneWarningNaming(err, lockPath);
    EXPECT_TRUE(readText(m_path).contains("speed=1.5\n"));

    // The one running Lumora clears it; the next change writes everything held back.
    testing::internal::CaptureStderr();
    EXPECT_TRUE(m_settings.removeOwnerlessLock());
    EXPECT_FALSE(QFile::exists(lockPath));
    m_settings.setAngle(45.0);
    m_settings.sync();
    testing::internal::GetCapturedStderr();
    const QByteArray written = readText(m_path);
    EXPECT_TRUE(written.contains("speed=2\n")) << written.constData();
    EXPECT_TRUE(written.contains("angle=45\n")) << written.constData();
    EXPECT_TRUE(written.contains("Dusk")) << written.constData();

    // A lock with a live owner stays.
    QLockFile held(lockPath);
    ASSERT_TRUE(held.tryLock(0));
    EXPECT_FALSE(m_settings.removeOwnerlessLock());
    EXPECT_TRUE(QFile::exists(lockPath));
    EXPECT_FALSE(m_settings.removeOwnerlessLock()); // and none at all is nothing to do
}

TEST_F(Hardening, PresetsChangedInTheFileAreMergedBeforeTheNextWrite) {
    m_settings.savePreset("Amber");
    m_settings.savePreset("Blue");
    m_settings.savePreset("Coral");
    QList<Preset> theirs = m_settings.presets();
    theirs[0].name = "Amber glow"; // renamed elsewhere
    theirs.removeAt(1);            // Blue deleted elsewhere
    Preset added;
    added.name = "Dune";
    theirs.append(added);
    writeAsAnotherProcess(m_path, theirs, m_dir.filePath("scratch.conf"));

    QList<QStringList> announced;
    QObject::connect(&m_settings, &Settings::presetsChanged,
                     [&](const QList<Preset>& list) { announced << names(list); });
    m_settings.deletePreset(m_settings.presets()[2]); // Coral, here
    m_settings.savePreset("Ember");
    const QStringList expected{"Amber glow", "Dune", "Ember"};
    EXPECT_EQ(names(m_settings.presets()), expected);
    ASSERT_FALSE(announced.isEmpty());
    EXPECT_EQ(announced.last(), expected);
    m_settings.sync();
    EXPECT_EQ(m_settings.speed(), 1.0); // only presets are taken in

    // Written as merged: a fresh reader (another process) sees the same list.
    ASSERT_TRUE(QFile::copy(m_path, m_dir.filePath("copy.conf")));
    EXPECT_EQ(names(Settings(m_dir.filePath("copy.conf")).presets()), expected);

    // A hand edit alone is taken in on request.
    theirs = m_settings.presets();
    theirs.removeFirst();
    writeAsAnotherProcess(m_path, theirs, m_dir.filePath("scratch3.conf"));
    EXPECT_TRUE(m_settings.reloadPresets());
    EXPECT_EQ(names(m_settings.presets()), (QStringList{"Dune", "Ember"}));
}

// Another process's new preset may reach us through a write of some other setting, which
// reads the file in with it; it must still be merged before our next presets go out.
TEST_F(Hardening, PresetsReadInByAnotherWriteAreStillMerged) {
    Settings other(m_path);
    m_settings.savePreset("Amber");
    other.savePreset("Blue");
    m_settings.setSpeed(2.0);
    m_settings.sync();
    m_settings.savePreset("Coral");
    const QStringList all{"Amber", "Blue", "Coral"};
    EXPECT_EQ(names(m_settings.presets()), all);
    EXPECT_EQ(names(Settings(m_path).presets()), all);
}

// A file replaced with one of the same size inside one tick of the clock looks unchanged to
// QSettings, which keeps its old copy; a merge with that copy would undo the other's change.
TEST_F(Hardening, PresetsReplacedUnderAnUnchangedSizeAndTimeAreStillMerged) {
    m_settings.savePreset("Amber");
    m_settings.sync();
    const qint64 sizeBefore = QFileInfo(m_path).size();
    const QDateTime timeBefore = QFileInfo(m_path).lastModified();
    QList<Preset> theirs = m_settings.presets();
    theirs[0].name = "Umber";
    {
        QSettings other(m_dir.filePath("scratch.conf"), QSettings::IniFormat);
        other.setValue("presets", QString::fromUtf8(*Preset::encodeList(theirs)));
    }
    QFile::remove(m_path);
    ASSERT_TRUE(QFile::copy(m_dir.filePath("scratch.conf"), m_path));
    QFile replaced(m_path);
    ASSERT_TRUE(replaced.open(QIODevice::ReadWrite));
    ASSERT_TRUE(replaced.setFileTime(timeBefore, QFileDevice::FileModificationTime));
    replaced.close();
    ASSERT_EQ(QFileInfo(m_path).size(), sizeBefore);

    m_settings.savePreset("Coral");
    const QStringList expected{"Umber", "Coral"};
    EXPECT_EQ(names(m_settings.presets()), expected);
    EXPECT_EQ(names(Settings(m_path).presets()), expected);
}

TEST(HardeningProcesses, TwoProcessesSavingPresetsIntoOneFileKeepAll) {
    QTemporaryDir dir;
    const QString path = dir.filePath("shared.conf");
    QProcess first;
    QProcess second;
    first.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    first.start(PRESET_WRITER, {path, "first ", "30"});
    second.start(PRESET_WRITER, {path, "second ", "30"});
    ASSERT_TRUE(first.waitForFinished(60000));
    ASSERT_TRUE(second.waitForFinished(60000));
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_EQ(second.exitCode(), 0);

    const QStringList saved = names(Settings(path).presets());
    QSet<QString> expected;
    for (int i = 0; i < 30; ++i) {
        expected << QStringLiteral("first %1").arg(i) << QStringLiteral("second %1").arg(i);
    }
    EXPECT_EQ(saved.size(), 60);
    const QStringList missing = (expected - QSet<QString>(saved.begin(), saved.end())).values();
    EXPECT_TRUE(missing.isEmpty()) << "lost: " << missing.join(", ").toStdString();
}
