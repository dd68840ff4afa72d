// Where each region's label goes in a figure of the diagram: inside its
// region and clear of its boundaries wherever the region is wide enough,
// and never over another label, the larger regions choosing first.
#pragma once

#include "engine/diagram/regions.h"
#include "engine/phases/model.h"

#include <string>
#include <vector>

// A label's size as a share of the figure's axes: the width of an em (the
// font's size) on the x axis (0 to 1), the height of a line of the T axis's
// span; and the window of x the figure shows.
struct LabelSize {
    double em;
    double height;
    double x_first = 0.0;
    double x_last = 1.0;
};

// The plot scripts' figures: 9-point labels on axes of about 685 by 520
// pixels, as the PNG draws them (12 pixels to the em), the larger of its
// text and the SVG's (9).
constexpr LabelSize FIGURE_LABELS{0.018, 0.027, 0.0, 1.0};

// The same on an axis of x from x_first to x_last: an em covers less of x,
// in proportion, and a label goes where the figure shows it.
inline LabelSize zoomed_labels(double x_first, double x_last)
{
    return {FIGURE_LABELS.em * (x_last - x_first), FIGURE_LABELS.height, x_first, x_last};
}

// The width of text in ems, in Helvetica (the figures' font): each
// character's own width, a character beyond ASCII as wide as a digit.
double text_width(const std::string& text);

// A label's box, in x and T.
struct LabelBox {
    double x_low, x_high, T_low, T_high;
};

LabelBox label_box(const std::string& text, double x, double T, double T_span, const LabelSize& size);

bool overlap(const LabelBox& a, const LabelBox& b);

// The text of a three-phase invariant's label: its kind and its temperature
// to six significant digits, in unit ("eutectic 607.681 K").
std::string invariant_label_text(const Invariant& inv, double T_in_unit, const char* unit);

// The text of a pure transition's label: its temperature to six significant
// digits, in unit ("1184.81 K").
std::string transition_label_text(double T_in_unit, const char* unit);

// Where a figure writes a three-phase invariant's label: centred at (x, T).
struct InvariantLabel {
    std::size_t invariant;  // in the diagram's invariants
    double x, T;
};

// Places the invariants' labels, by rising T: over the middle phase a line
// above the invariant's line, else a line below it, else moved along it,
// where the box overlaps no other invariant's label nor crosses an
// invariant's line; the first of these where none is clear. Each label's box
// is added to placed.
std::vector<InvariantLabel> place_invariant_labels(const Diagram& d, double T_span, const LabelSize& size,
                                                   std::vector<LabelBox>& placed);

// Moves each region's label point (x, T) to where its box fits inside the
// region and overlaps no label placed before it (placed: the invariants'
// first, then the larger regions'); where none fits, beside the region, led
// back to it (Region::led); where its phases fit nowhere, a number in their
// place, inside or led out likewise (Region::tag); else to the best place
// inside. Returns the key of the numbers, one line each ("3 A+B"), and adds
// each label's box to placed. T_span is the figure's range of T.
std::vector<std::string> place_labels(const System& s, const Diagram& d, std::vector<Region>& regions,
                                      double T_span, const LabelSize& size, std::vector<LabelBox>& placed);

// A line of the key of the numbered labels, centred at (x, T).
struct KeyLine {
    std::string text;
    double x, T;
};

// A pure component's transition between two solids, marked where it meets
// the axis of its component (x = 0 or 1) at T: its temperature as a label at
// (x, T_label), led to that point.
struct TransitionLabel {
    std::size_t event;  // in the diagram's events at its edges
    double x, T_label;
};

// Every label of a figure of the diagram of size, over its own range of T.
// Where the key of the numbered labels finds no room, they are their phases
// again, at the best place inside their fields.
struct FigureLabels {
    std::vector<InvariantLabel> invariants;
    std::vector<TransitionLabel> transitions;
    std::vector<Region> regions;
    std::vector<KeyLine> key;
};

FigureLabels figure_labels(const System& s, const Diagram& d, const LabelSize& size = FIGURE_LABELS);
