// The view offscreen on a 4096 × 4096 RGB FITS file: from "Öffnen" to the first painted view,
// and one zoom step (zoom, re-centre, repaint). The peer is Qt itself drawing an already
// rendered picture of the same size, the floor any view has to pay.
#include "formats/open.h"
#include "ui/document.h"
#include "ui/messages.h"
#include "ui/shell/main_frame.h"
#include "ui/shell/quillon_app.h"
#include "ui/view.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

using namespace quillon;

namespace {

constexpr int kSize = 4096;

// A plain 16-bit three-plane FITS file (a star field ramp), written here so that the
// benchmark does not depend on the writer.
QString benchFile() {
    static QTemporaryDir dir;
    static QString path;
    if (!path.isEmpty()) return path;
    path = dir.filePath(QStringLiteral("bench-4096-rgb.fts"));
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly)) return path;
    std::string header;
    auto card = [&](const std::string& text) {
        std::string c = text;
        c.resize(80, ' ');
        header += c;
    };
    card("SIMPLE  =                    T");
    card("BITPIX  =                   16");
    card("NAXIS   =                    3");
    card("NAXIS1  =                 4096");
    card("NAXIS2  =                 4096");
    card("NAXIS3  =                    3");
    card("END");
    header.resize((header.size() + 2879) / 2880 * 2880, ' ');
    f.write(header.data(), static_cast<qint64>(header.size()));
    std::vector<unsigned char> row(kSize * 2);
    for (int p = 0; p < 3; ++p)
        for (int y = 0; y < kSize; ++y) {
            for (int x = 0; x < kSize; ++x) {
                int v = ((x * 7 + y * 3 + p * 1000) % 4000) - 500;
                if ((x * 131 + y * 71) % 997 == 0) v = 30000; // stars
                auto u = static_cast<std::uint16_t>(static_cast<std::int16_t>(v));
                row[static_cast<std::size_t>(x) * 2] = static_cast<unsigned char>(u >> 8);
                row[static_cast<std::size_t>(x) * 2 + 1] = static_cast<unsigned char>(u & 0xFF);
            }
            f.write(reinterpret_cast<const char*>(row.data()), static_cast<qint64>(row.size()));
        }
    const qint64 data = 3LL * kSize * kSize * 2;
    const qint64 pad = (2880 - data % 2880) % 2880;
    f.write(QByteArray(static_cast<int>(pad), '\0'));
    return path;
}

void settle() {
    for (int i = 0; i < 4; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

struct Shell {
    ui::CWinQuillonApp app;
    ui::CMainFrame* frame;
    Shell() {
        frame = app.createMainFrame();
        frame->resize(1600, 1000);
        frame->show();
        settle();
    }
};

Shell& shell() {
    static Shell s;
    return s;
}

void BM_OpenToFirstPaint(benchmark::State& state) {
    if (!readerFor(FileKind::Fits)) {
        state.SkipWithError("no FITS reader in this build");
        return;
    }
    const QString path = benchFile();
    Shell& s = shell();
    for (auto _ : state) {
        ui::CWinQuillonDoc* doc = s.app.openDocument(path);
        if (!doc) {
            state.SkipWithError("open failed");
            return;
        }
        ui::CWinQuillonView* v = doc->views().first();
        v->fitWindow(false);
        v->viewport()->repaint();
        benchmark::DoNotOptimize(v->paintCount());
        state.PauseTiming();
        s.app.closeDocument(doc);
        settle();
        state.ResumeTiming();
    }
}

ui::CWinQuillonView* bigView(Shell& s) {
    static ui::CWinQuillonView* view = nullptr;
    if (view) return view;
    auto& p = s.app.newParams();
    p.type = RGB_IMAGE;
    p.width = kSize;
    p.height = kSize;
    ui::CWinQuillonDoc* doc = nullptr;
    if (readerFor(FileKind::Fits)) doc = s.app.openDocument(benchFile());
    if (!doc) doc = s.app.newDocument();
    settle();
    view = doc->views().first();
    return view;
}

void BM_ZoomStep(benchmark::State& state) {
    Shell& s = shell();
    ui::CWinQuillonView* v = bigView(s);
    v->setZoomAndRedraw(1.0 / 4);
    v->viewport()->repaint();
    bool in = true;
    for (auto _ : state) {
        // 1/4 ↔ 1/3 ↔ 1/2 ↔ 1 and back: every step zooms, re-centres and repaints.
        if (in)
            v->zoomIn();
        else
            v->zoomOut();
        v->viewport()->repaint();
        if (v->zoom() >= 1.0) in = false;
        if (v->zoom() <= 0.25) in = true;
    }
    state.counters["viewport_px"] = v->viewport()->width() * v->viewport()->height();
}

// Peer: Qt drawing an already rendered 32-bit picture of the viewport's size.
void BM_PeerQtDrawViewport(benchmark::State& state) {
    Shell& s = shell();
    ui::CWinQuillonView* v = bigView(s);
    QImage src(v->viewport()->size(), QImage::Format_RGB32);
    src.fill(0x203040);
    for (auto _ : state) {
        QImage dst(v->viewport()->size(), QImage::Format_RGB32);
        QPainter p(&dst);
        p.drawImage(0, 0, src);
        p.end();
        benchmark::DoNotOptimize(dst.constBits());
    }
}

} // namespace

BENCHMARK(BM_OpenToFirstPaint)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ZoomStep)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PeerQtDrawViewport)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir settingsDir;
    qputenv("QUILLON_SETTINGS_FILE", settingsDir.filePath(QStringLiteral("s.ini")).toLocal8Bit());
    QApplication qapp(argc, argv);
    ui::setMessageHandler([](const QString& t, ui::Ask) {
        std::fprintf(stderr, "Meldung: %s\n", qPrintable(t));
        return QMessageBox::No;
    });
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
