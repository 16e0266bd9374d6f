#pragma once
// The status line's print quality: the picture that Save would write, graded as a
// print-quality verifier grades it (ISO/IEC 15416), in a worker thread. Only the latest
// request is graded and shown; typing never waits for a grading.
#include "engine/LLBarcode.h"
#include "engine/Units.h"

#include <QObject>
#include <QString>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

class QLabel;
class QTimer;

namespace varimark {

// What Save would write: a copy of the control's engine, the save factor, the margin
// choice and the resolution the picture is laid out at.
struct TGradeRequest {
    TLLBarcode barcode;
    int factor = 1;
    bool quietZones = false;
    int dpi = kScreenDpi;
};

// The margin in pixels (before the save factor) that Save and Copy give the barcode: the
// program's 2 pixels, or with quiet zones each side's quiet zone of its symbology and at
// least those 2 pixels, as varimark-cli render gives by default.
int SaveMargin(const TLLBarcode& barcode, int dpi, bool quietZones);

// The status line for a request, for instance
//   "Grade A (4.0) · X 0.26 mm · quiet zones 11/11 modules"
//   "Grade F: left quiet zone 2 of 10 modules · turn on Barcode > Quiet zones"
//   "Not graded: BarcoLL: Code128 error ..."
// Runs the drawing and the verifier; safe from any thread.
QString GradeStatusText(const TGradeRequest& request);

class TStatusGrade : public QObject {
public:
    // snapshot runs on the GUI thread when a grading starts and says what Save would write
    // now; what it raises is shown as the status ("Not graded: " and the message).
    TStatusGrade(QLabel* label, std::function<TGradeRequest()> snapshot);
    ~TStatusGrade() override;
    TStatusGrade(const TStatusGrade&) = delete;
    TStatusGrade& operator=(const TStatusGrade&) = delete;

    // After a change: the barcode is graded once control returns to the event loop (a burst
    // of changes makes one request), the grading itself in the worker.
    void Schedule();
    // Texts shown so far (a new text or the same one again).
    std::uint64_t ShownCount() const { return shown_; }
    // The status line tells the barcode as it is: no change waits for its grade.
    bool Settled() const;

private:
    void Start();
    void Show(std::uint64_t generation, const QString& text);
    void Run();

    QLabel* label_;
    std::function<TGradeRequest()> snapshot_;
    QTimer* timer_;
    std::uint64_t requested_ = 0; // the generation of the latest request (GUI thread)
    std::uint64_t shownGeneration_ = 0;
    std::uint64_t shown_ = 0;

    std::mutex mutex_;
    std::condition_variable wake_;
    struct TPending {
        std::uint64_t generation;
        TGradeRequest request;
    };
    std::optional<TPending> pending_; // only the latest: a newer request replaces it
    bool stop_ = false;
    std::thread worker_; // last: started once the rest is set up
};

} // namespace varimark
