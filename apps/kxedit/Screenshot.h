#ifndef KXEDIT_SCREENSHOT_H
#define KXEDIT_SCREENSHOT_H

#include <QCommandLineOption>

class QCommandLineParser;

namespace kxedit {

class MainWindow;

/// The command-line options that set up a scene and save a picture of the
/// window instead of running interactively (for the gallery and for
/// checking the editor without a display).
class ScreenshotOptions {
public:
    explicit ScreenshotOptions(QCommandLineParser& parser);
    bool Requested(const QCommandLineParser& parser) const;
    /// Builds the scene the options describe and writes the screenshot;
    /// returns the exit status.
    int Run(const QCommandLineParser& parser, MainWindow& window) const;

private:
    int MakeSamples(const QString& field) const;

    QCommandLineOption m_layer;
    QCommandLineOption m_mode;
    QCommandLineOption m_opacity;
    QCommandLineOption m_filter;
    QCommandLineOption m_values;
    QCommandLineOption m_apply;
    QCommandLineOption m_text;
    QCommandLineOption m_size;
    QCommandLineOption m_screenshot;
    QCommandLineOption m_sample;
};

} // namespace kxedit

#endif
