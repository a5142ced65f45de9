#ifndef KXIMG_PROGRESS_H
#define KXIMG_PROGRESS_H

// A one-line progress bar on stderr for long operations, drawn only when
// stderr is a terminal (so that logs and pipes stay clean):
//
//   blur  [##############----------------]  47%
//
// (KXIMG_PROGRESS=1 draws it anyway.) Update may be called from any thread (the library reports progress from
// its worker threads); the line is redrawn only when the percentage changes.

#include <QMutex>
#include <QString>

namespace kximg {

class ProgressBar {
public:
    explicit ProgressBar(const QString& label, bool enabled = Wanted());
    ~ProgressBar(); // Finish()
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // `done` of `total` steps (a total of 0 counts as finished).
    void Update(long long done, long long total);
    // A fraction between 0 and 1 (clamped).
    void Update(double fraction);
    void SetLabel(const QString& label);
    // Clears the line; later updates are ignored.
    void Finish();

    bool Enabled() const { return m_enabled; }
    // stderr is a terminal, or KXIMG_PROGRESS=1.
    static bool Wanted();

private:
    void Draw(int percent); // with m_mutex held

    QMutex m_mutex;
    QString m_label;
    bool m_enabled;
    bool m_finished = false;
    int m_percent = -1;
    int m_drawnWidth = 0;
};

// The bar of one command, over its steps (read, convert, the work itself,
// convert back, write): each step runs the bar on from where the previous
// one ended, labelled "command: step".
class CommandProgress {
public:
    explicit CommandProgress(const QString& command) : m_command(command), m_bar(command) {}

    // Starts the step `what`, which ends at `end` (0..1) of the bar.
    void Step(const QString& what, double end);
    // `fraction` (0..1) of the current step is done.
    void Within(double fraction);
    // Clears the bar, before the command prints its results.
    void Finish() { m_bar.Finish(); }

private:
    QString m_command;
    ProgressBar m_bar;
    double m_begin = 0;
    double m_end = 0;
};

} // namespace kximg

#endif // KXIMG_PROGRESS_H
