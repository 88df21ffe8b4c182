// The Qt backend's clipboard: the system clipboard that QGuiApplication
// reaches, with the window layer's formats and handle rules.
//
// What a control puts there is kept whole in the process, so every format
// (private ones and metafiles included) reads back exactly, and the system
// clipboard is taken over with what other programs can read of it: the
// bitmap formats as an image (made when a program first asks for it) and an
// enhanced metafile as "image/x-emf" bytes. Emptying empties both, leaving
// the system clipboard ours with nothing on offer.
//
// While the system clipboard still holds what was put here, reading gives
// the kept content. Once another program (or another part of this one) has
// put something there, reading offers what can be made of that: CF_BITMAP,
// CF_DIB and CF_DIBV5 from an image, CF_ENHMETAFILE (and so
// CF_METAFILEPICT) from "image/x-emf" bytes that hold an enhanced metafile,
// and nothing else. The kept content is dropped when that happens.
//
// Used on the GUI thread only (the handle tables are per thread); made after
// the QGuiApplication.
#pragma once
#include <cstdint>
#include <vector>

#include <QMimeData>
#include <QObject>
#include <QPointer>

#include "platform/window/clipboard.h"

namespace orrery::qt {

class QtClipboard final : public window::Clipboard {
public:
    QtClipboard();
    // What was put on the system clipboard stays there for other programs,
    // made whole first since the kept content goes away.
    ~QtClipboard() override;
    QtClipboard(const QtClipboard&) = delete;
    QtClipboard& operator=(const QtClipboard&) = delete;

    void empty() override;
    bool setData(uint32_t format, uint32_t handle) override;
    bool isFormatAvailable(uint32_t format) const override;
    std::vector<uint32_t> formats() const override;
    uint32_t getData(uint32_t format) const override;

private:
    // True while the system clipboard holds the data last published here.
    bool holdsSystemClipboard() const;
    // Takes the system clipboard over with what other programs can read of
    // the kept content.
    void publish();

    window::InProcessClipboard kept_;
    QPointer<QMimeData> published_;  // Qt owns it, and deletes it when it is replaced
    bool publishing_ = false;
    // The receiver of the system clipboard's change signal; it goes first.
    QObject watcher_;
};

}  // namespace orrery::qt
