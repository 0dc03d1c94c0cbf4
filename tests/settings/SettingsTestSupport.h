#pragma once

#include "settings/Settings.h"
#include "support/TextFiles.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace lumora {

inline void expectOneWarningNaming(const std::string& err, const QString& text) {
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find(text.toStdString()), std::string::npos) << err;
}

inline QStringList names(const QList<Preset>& presets) {
    QStringList out;
    for (const Preset& p : presets) {
        out << p.name;
    }
    return out;
}

// speed, brightness, width, cornerFraction, angle
inline std::vector<double> numbers(const Settings& s) {
    return {s.speed(), s.brightness(), s.width(), s.cornerFraction(), s.angle()};
}

// A store over a file that does not exist yet, in a directory that does not exist yet.
class SettingsTest : public ::testing::Test {
protected:
    SettingsTest() {
        QObject::connect(&m_settings, &Settings::willChange, [this] { ++m_willChange; });
    }
    QTemporaryDir m_dir;
    QString m_path = m_dir.filePath(QStringLiteral("sub/lumora.conf"));
    Settings m_settings{m_path};
    int m_willChange = 0;
};

} // namespace lumora
