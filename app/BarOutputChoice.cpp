#include "app/BarOutputChoice.h"

#include "display/outputs/DrmBarOutput.h"
#include "display/outputs/WindowBarOutput.h"
#include "display/outputs/drm/DrmPanel.h"

namespace lumora {

std::optional<OutputRequest> parseOutputRequest(const QStringList& args, QString* error) {
    OutputRequest request;
    for (int i = 1; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg != QLatin1String("--output") && arg != QLatin1String("--touchbar-device")) {
            continue;
        }
        if (i + 1 >= args.size() || args.at(i + 1).isEmpty()) {
            *error = arg + QStringLiteral(" needs a value");
            return std::nullopt;
        }
        const QString value = args.at(++i);
        if (arg == QLatin1String("--touchbar-device")) {
            request.device = value;
        } else if (value == QLatin1String("auto")) {
            request.kind = OutputRequest::Kind::automatic;
        } else if (value == QLatin1String("touchbar")) {
            request.kind = OutputRequest::Kind::touchbar;
        } else if (value == QLatin1String("window")) {
            request.kind = OutputRequest::Kind::window;
        } else {
            *error =
                QStringLiteral("--output takes auto, touchbar or window, not \"%1\"").arg(value);
            return std::nullopt;
        }
    }
    return request;
}

bool barLikelyInWindow(const OutputRequest& request, const QString& directory) {
    switch (request.kind) {
    case OutputRequest::Kind::window: return true;
    case OutputRequest::Kind::touchbar: return false;
    case OutputRequest::Kind::automatic: break;
    }
    DrmPanel::Options options;
    options.device = request.device.toStdString();
    options.directory = directory.toStdString();
    DrmFailure failure;
    return DrmPanel::probe(options, failure).empty() && failure.kind != DrmFailure::Kind::busy;
}

std::unique_ptr<BarOutput> makeBarOutput(const OutputRequest& request, QTextStream& err,
                                         const QString& directory, bool keysHoldIt,
                                         BarPlacement placement) {
    if (request.kind == OutputRequest::Kind::window) {
        return std::make_unique<WindowBarOutput>(placement);
    }
    DrmPanel::Options options;
    options.device = request.device.toStdString();
    options.directory = directory.toStdString();
    DrmFailure failure;
    if (!DrmPanel::probe(options, failure).empty() ||
        (keysHoldIt && failure.kind == DrmFailure::Kind::busy)) {
        // Without a named device the bar is looked for again at every presentation: a T2
        // bar's USB device may come back under another card number after a resume.
        return std::make_unique<DrmBarOutput>(options);
    }
    if (request.kind == OutputRequest::Kind::touchbar) {
        err << "lumora: " << QString::fromStdString(failure.message()) << Qt::endl;
        return nullptr;
    }
    // Most desktops have no Touch Bar: say so briefly, and the fuller story otherwise.
    if (failure.kind == DrmFailure::Kind::notFound && failure.device.empty()) {
        err << "lumora: no Touch Bar found; showing the bar in a window" << Qt::endl;
    } else {
        err << "lumora: " << QString::fromStdString(failure.message())
            << "; showing the bar in a window meanwhile" << Qt::endl;
    }
    return std::make_unique<WindowBarOutput>(placement);
}

} // namespace lumora
