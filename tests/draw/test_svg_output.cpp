#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "draw/svg_output.h"
#include "view/plots.h"

namespace zx840 {
namespace {

struct Polyline {
    std::string stroke;
    std::vector<std::string> points;
};

// The `<polyline>` elements of an SVG picture, in order.
std::vector<Polyline> Polylines(const std::string& svg) {
    std::vector<Polyline> lines;
    for (std::size_t at = svg.find("<polyline"); at != std::string::npos;
         at = svg.find("<polyline", at + 1)) {
        const std::size_t stroke = svg.find("stroke=\"", at) + 8;
        const std::size_t points = svg.find("points=\"", at) + 8;
        const std::string list = svg.substr(points, svg.find('"', points) - points);
        Polyline line{svg.substr(stroke, 7), {}};
        for (std::size_t p = 0; p < list.size();) {
            const std::size_t end = std::min(list.find(' ', p), list.size());
            line.points.push_back(list.substr(p, end - p));
            p = end + 1;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

std::string Centre(int x, int y) {
    return std::to_string(x) + ".5," + std::to_string(y) + ".5";
}

// The panel's waveform as a browser gets it: each trace one line through all
// of its points, at the pixel centres the screen draws; texts escaped.
TEST(SvgOutput, TheWaveformIsOneLinePerTraceAndTextsAreEscaped) {
    MeasurementRecord r;
    for (int n = 0; n < 256; ++n) {
        r.UWave[n] = (n * 37) % 2000 - 1000;
        r.IWave[n] = (n * 11) % 400 - 200;
    }
    const DrawList ops = WaveformPlot(r, 589, 130);
    std::vector<std::vector<std::string>> traces;  // the moves and lines of the list
    for (const DrawOp& op : ops) {
        if (const auto* move = std::get_if<MoveTo>(&op)) {
            traces.push_back({Centre(move->x, move->y)});
        } else if (const auto* line = std::get_if<LineTo>(&op)) {
            traces.back().push_back(Centre(line->x, line->y));
        }
    }
    const auto lines = Polylines(SvgFromDrawList(ops, 589, 130));
    ASSERT_EQ(lines.size(), traces.size());
    for (std::size_t k = 0; k < lines.size(); ++k) {
        EXPECT_EQ(lines[k].points, traces[k]) << k;
    }
    ASSERT_EQ(lines.size(), 5u + 2u);  // the grid's five lines, the two traces
    EXPECT_EQ(lines[5].stroke, "#808000");
    EXPECT_EQ(lines[6].stroke, "#800080");
    EXPECT_EQ(lines[5].points.size(), 513u);  // two periods of 256 samples, closed

    struct Case {
        std::string text;
        std::string written;
    };
    for (const Case& c : std::vector<Case>{{"<script>&\"'", "&lt;script&gt;&amp;&quot;&#39;"},
                                           {"a\x01z", "a\xEF\xBF\xBDz"},
                                           {"\xff", "\xEF\xBF\xBD"},
                                           {"50 \xC2\xB5"
                                            "A",
                                            "50 \xC2\xB5"
                                            "A"}}) {
        const std::string svg = SvgFromDrawList({DrawText{1, 2, c.text}}, 10, 10);
        EXPECT_NE(svg.find(">" + c.written + "</text>"), std::string::npos) << svg;
        EXPECT_NE(svg.find("filter=\"url(#back-ffffff)\""), std::string::npos);
    }
    SvgOptions bare;
    bare.background.reset();
    const std::string clear =
        SvgFromDrawList({SetBackOpaque{false}, DrawText{1, 2, "x"}}, 10, 10, bare);
    EXPECT_EQ(clear.find("filter"), std::string::npos);
    EXPECT_EQ(clear.find("<rect"), std::string::npos);
}

}  // namespace
}  // namespace zx840
