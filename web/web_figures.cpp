#include "web/web_figures.h"

#include "analysis/displayed_record.h"
#include "view/plots.h"
#include "draw/svg_output.h"

namespace zx840 {

ResultFigures FiguresOf(const Result& result) {
    const MeasurementRecord& r = result.working.Record;
    const std::optional<Verdict> verdict =
        result.verdict ? std::optional(VerdictOf(*result.verdict)) : std::nullopt;
    const FailingOrders failing = verdict ? FailingOrdersOf(*verdict) : FailingOrders{};
    const SpectrumGeometry geometry = SpectrumGeometryFor(kWebSpectrumWidth, kWebSpectrumHeight);
    ResultFigures figures;
    figures.waveform = SvgFromDrawList(WaveformPlot(r, kWebWaveWidth, kWebWaveHeight),
                                       kWebWaveWidth, kWebWaveHeight);
    figures.voltageSpectrum =
        SvgFromDrawList(SpectrumPlot(r.USpec, r.Uthd, Channel::Voltage, geometry, kWebSpectrumWidth,
                                     verdict ? &failing.voltage : nullptr),
                        kWebSpectrumWidth, kWebSpectrumHeight);
    figures.currentSpectrum =
        SvgFromDrawList(SpectrumPlot(r.ISpec, r.Ithd, Channel::Current, geometry, kWebSpectrumWidth,
                                     verdict ? &failing.current : nullptr),
                        kWebSpectrumWidth, kWebSpectrumHeight);
    return figures;
}

}  // namespace zx840
