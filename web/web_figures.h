// A kept result's plots as the panel draws them, as SVG pictures for the
// Result page: the panel's own drawing operations, written out as SVG.
#pragma once

#include "store/result.h"
#include "web/web_html.h"

namespace zx840 {

// Sizes of the pictures in SVG user units.
inline constexpr int kWebWaveWidth = 640;
inline constexpr int kWebWaveHeight = 240;
inline constexpr int kWebSpectrumWidth = 316;
inline constexpr int kWebSpectrumHeight = 200;

// The waveforms and both spectra, the failing orders marked as the panel
// marks them after a verdict.
ResultFigures FiguresOf(const Result& result);

}  // namespace zx840
