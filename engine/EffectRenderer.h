#pragma once

#include "Axis.h"
#include "Frame.h"
#include "GlyphAtlas.h"
#include "Kernels.h"
#include "Params.h"
#include "RGB.h"
#include "StarTable.h"

#include <array>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace lumora {

// Draws one frame of any effect at any animation time. No clock and no memory between frames:
// the same size, parameters and time always give the same bytes. Everything that depends only
// on a row, a column, the angle or the frame is computed once, outside the per-pixel loops.
class EffectRenderer {
public:
    // Width and height of at least 1; anything else throws std::invalid_argument. Without a
    // rasterizer the glyph atlas stays zero (the matrix effect is then black).
    EffectRenderer(int width, int height, GlyphRasterizer* rasterizer = nullptr);

    int w() const { return m_w; }
    int h() const { return m_h; }
    const StarTable& stars() const { return m_stars; }
    const GlyphAtlas& glyphAtlas() const { return m_atlas; }

    // The frame for `params` at animation time `time`. The returned frame never changes,
    // whatever is rendered later.
    Frame render(const Params& params, double time);

private:
    const std::shared_ptr<FramePixels>& nextBuffer();
    // Per-frame preparation of each effect's plan.
    void prepareAxis(double angle);
    void prepareAxisSine(Effect effect, double angle);
    void prepareRainbow(const Params& params, double time);
    void prepareNeon(double time);
    void planLevelTable();
    void prepareScanner();
    void prepareInferno(double time);
    void prepareMatrix(const Params& params, double time);
    void prepareStarfield(double time);
    void fillRows(const Params& params, double time);
    void setClamping(const Params& params, double time);
    bool axisAcrossRows() const;
    bool rowIsOneColour(Effect effect, int y) const;
    void shadeByRows(Effect effect);
    void buildFixedTables();
    void buildFlameTables();
    void buildCodeTables();
    void buildStarTables();
    void planFixedTables();

    int m_w;
    int m_h;
    StarTable m_stars;
    std::array<RGB, starCount> m_starHues; // each star's own colour, before it twinkles
    GlyphAtlas m_atlas;
    // Frames share their buffer with whoever holds them; a buffer is written again only once
    // nobody else holds it, so steady-state rendering allocates nothing.
    std::array<std::shared_ptr<FramePixels>, 3> m_pool;

    kernels::Plan m_plan;
    using Table = std::vector<double>;

    // The light axis, rebuilt when the angle changes.
    Axis m_axis;
    double m_axisAngle;
    Table m_colP, m_rowP;
    // Column and row halves of an axis-linear sine, for one effect at one angle.
    Effect m_sineEffect = Effect::solid;
    double m_sineAngle;
    Table m_colSin, m_colCos, m_rowSin, m_rowCos;

    Table m_inferno[6];    // sin, cos of 80x, 150x, 41x per column
    Table m_infernoRow[6]; // per frame, per row
    Table m_heatBase;

    // Matrix: per cell column, per cell, per pixel row; the atlas as fractions.
    int m_cellColumns = 0;
    int m_cellRows = 0;
    Table m_head, m_cycle, m_speed, m_offset, m_rowCells, m_coverage, m_matrixScratch;
    std::vector<std::int32_t> m_glyphOffset, m_rowCell, m_glyphRow;
    std::vector<std::uint32_t> m_cellHash;
    std::optional<std::uint32_t> m_glyphTick; // the glyphs change five times a second
    std::vector<std::uint32_t> m_rowScratch;
    std::vector<std::uint32_t> m_dimGlyphs;

    // Starfield: the lit stars of this frame and the per-column sums.
    Table m_starColor, m_starWeights, m_columns[3], m_rowDim;
    std::vector<std::int32_t> m_rowSource, m_rowTwin, m_starIndex, m_starSpan;
    std::vector<std::uint8_t> m_columnKinds;
    int m_starStride = 0;

    std::vector<std::uint32_t> m_column; // one pixel per row, when every row is one colour
    Table m_levels, m_levelsReversed;    // neon breath's per-frame level table
    Table m_pulses, m_pulsesReversed;    // and the heartbeat's second one

    // Scanner: the trail's column factors for either direction, for one angle and trail
    // length, and its row factors for the frame.
    Table m_tailAhead, m_tailBack, m_tailRows;
    double m_tailAngle = std::numeric_limits<double>::quiet_NaN();
    double m_tailLambda = std::numeric_limits<double>::quiet_NaN();
};

} // namespace lumora
