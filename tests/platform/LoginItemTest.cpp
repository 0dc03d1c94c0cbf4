#include "platform/LoginItem.h"

#include "support/TextFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumora;

namespace {

QString execLine(const QByteArray& entry) {
    for (const QByteArray& line : entry.split('\n')) {
        if (line.startsWith("Exec=")) {
            return QString::fromUtf8(line.mid(5));
        }
    }
    return {};
}

// Undoes an Exec value holding one program the way a launcher does: the string value's
// escapes, then the argument quoting, then %% field codes.
QString parseExec(const QString& value) {
    QString text, program;
    for (qsizetype i = 0; i < value.size(); ++i) {
        QChar c = value[i];
        if (c == '\\' && i + 1 < value.size()) {
            c = value[++i];
            c = c == 'n' ? QChar('\n') : c == 't' ? QChar('\t') : c == 's' ? QChar(' ') : c;
        }
        text += c;
    }
    const bool quoted = text.size() >= 2 && text.startsWith('"') && text.endsWith('"');
    if (quoted) {
        text = text.mid(1, text.size() - 2);
    }
    const QString special = quoted ? "\"`$\\" : " \t\n\"'\\><~|&;$*?#()`";
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (quoted && text[i] == '\\' && i + 1 < text.size() && special.contains(text[i + 1])) {
            ++i;
        } else {
            // Anything special must have been escaped or quoted.
            EXPECT_FALSE(special.contains(text[i])) << value.toStdString();
        }
        program += text[i];
    }
    // A lone % would start a field code.
    QString result;
    for (qsizetype i = 0; i < program.size(); ++i) {
        if (program[i] == '%') {
            EXPECT_TRUE(i + 1 < program.size() && program[++i] == '%') << value.toStdString();
        }
        result += program[i];
    }
    return result;
}

} // namespace

TEST(LoginItem, RoundTripAndOtherDesktopsSwitchingItOff) {
    QTemporaryDir home;
    const QString dir = home.filePath("config/autostart"); // created on demand
    LoginItem item(dir, "/usr/bin/lumora");
    EXPECT_FALSE(item.isEnabled());
    EXPECT_TRUE(item.setEnabled(false)); // already off

    ASSERT_TRUE(item.setEnabled(true)) << item.errorString().toStdString();
    EXPECT_TRUE(item.isEnabled());
    EXPECT_EQ(execLine(readText(dir + "/lumora.desktop")), "/usr/bin/lumora");

    ASSERT_TRUE(item.setEnabled(false));
    EXPECT_FALSE(QFile::exists(dir + "/lumora.desktop"));
    EXPECT_FALSE(item.isEnabled());

    // Desktops that keep the file but mark it off; keys of other groups do
    // not count.
    writeText(dir + "/lumora.desktop", "[Desktop Entry]\nExec=lumora\nHidden = true\n");
    EXPECT_FALSE(item.isEnabled());
    writeText(dir + "/lumora.desktop",
              "[Desktop Entry]\nExec=lumora\nX-GNOME-Autostart-enabled=false\n");
    EXPECT_FALSE(item.isEnabled());
    writeText(dir + "/lumora.desktop",
              "[Desktop Entry]\nExec=lumora\nHidden=false\n[Desktop Action x]\nHidden=true\n");
    EXPECT_TRUE(item.isEnabled());
    // Switching on again replaces the hidden entry.
    writeText(dir + "/lumora.desktop", "[Desktop Entry]\nHidden=true\n");
    ASSERT_TRUE(item.setEnabled(true));
    EXPECT_TRUE(item.isEnabled());
}

TEST(LoginItem, ExecStartsExactlyTheRunningProgram) {
    const QStringList paths = {
        "/usr/bin/lumora",
        "/home/ann/My Apps/lumora",
        "/opt/a\"b/$HOME/`x`/lumora",
        "/opt/100%/lumora %f",
        "/opt/back\\slash/it's;here/lumora",
        "/opt/tab\there/new\nline/lumora",
    };
    for (const QString& path : paths) {
        const QString value = LoginItem::execValue(path);
        EXPECT_FALSE(value.contains('\n')) << value.toStdString();
        EXPECT_EQ(parseExec(value), path) << value.toStdString();
    }

    // The written file carries the same value, with a relative path made absolute.
    QTemporaryDir home;
    LoginItem item(home.path(), "bin/my lumora");
    ASSERT_TRUE(item.setEnabled(true));
    EXPECT_EQ(parseExec(execLine(readText(item.filePath()))),
              QFileInfo("bin/my lumora").absoluteFilePath());
}

TEST(LoginItem, FailuresLeaveTheStateAsItWas) {
    QTemporaryDir home;
    // A file where the folder should be: no folder can be made there, even by root.
    writeText(home.filePath("blocker"), "x");
    LoginItem blocked(home.filePath("blocker/autostart"), "/usr/bin/lumora");
    EXPECT_FALSE(blocked.setEnabled(true));
    EXPECT_TRUE(blocked.errorString().contains(home.filePath("blocker/autostart")))
        << blocked.errorString().toStdString();
    EXPECT_FALSE(blocked.isEnabled());

    // A read-only folder: the entry can be neither written nor removed.
    const QString dir = home.filePath("autostart");
    LoginItem item(dir, "/usr/bin/lumora");
    ASSERT_TRUE(item.setEnabled(true));
    ASSERT_TRUE(QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner));
    if (QFileInfo(dir).isWritable() || QFile(dir + "/probe").open(QIODevice::WriteOnly)) {
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        GTEST_SKIP() << "permissions are not enforced for this user";
    }
    EXPECT_FALSE(item.setEnabled(false));
    EXPECT_FALSE(item.errorString().isEmpty());
    EXPECT_TRUE(item.isEnabled());

    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_TRUE(item.setEnabled(false));
    ASSERT_TRUE(QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner));
    EXPECT_FALSE(item.setEnabled(true));
    EXPECT_FALSE(item.isEnabled());
    EXPECT_EQ(QDir(dir).entryList(QDir::Files | QDir::Hidden), QStringList{})
        << "no half-written or temporary file";
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}
