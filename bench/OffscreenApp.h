#pragma once

#include <QApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <optional>

namespace lumora {

// A QApplication on the offscreen platform (unless QT_QPA_PLATFORM names another) whose
// XDG_CONFIG_HOME is a throwaway directory, so nothing run under it reads or writes the user's
// settings. Check isValid() before use: without the directory there is no application.
class OffscreenApp {
public:
    OffscreenApp(int& argc, char** argv, const char* program) {
        if (!m_config.isValid()) {
            std::fprintf(stderr, "%s: cannot create a temporary directory\n", program);
            return;
        }
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
        m_app.emplace(argc, argv);
    }

    bool isValid() const { return m_app.has_value(); }
    // The throwaway XDG_CONFIG_HOME.
    QString configDir() const { return m_config.path(); }

private:
    QTemporaryDir m_config;
    std::optional<QApplication> m_app;
};

} // namespace lumora
