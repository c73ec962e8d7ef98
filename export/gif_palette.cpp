#include "export/gif_palette.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "export/nearest_colour.h"

namespace peelbox {

namespace {

constexpr int kRefinements = 1;

// A bin in use: its mean colour and how many pixels it holds.
struct Point {
  float colour[3];
  double weight;
};

// A box of the median cut: a range of points and their moments.
struct Box {
  size_t begin = 0;
  size_t end = 0;
  double weight = 0;
  double sum[3] = {};
  double squares[3] = {};

  double Variance(int axis) const { return squares[axis] - sum[axis] * sum[axis] / weight; }
  double Error() const { return Variance(0) + Variance(1) + Variance(2); }
  int WidestAxis() const {
    int axis = 0;
    for (int a = 1; a < 3; ++a) {
      if (Variance(a) > Variance(axis)) axis = a;
    }
    return axis;
  }
  uint32_t Mean() const {
    uint32_t rgb = 0;
    for (int a = 0; a < 3; ++a) rgb = rgb << 8 | static_cast<uint32_t>(std::clamp(std::lround(sum[a] / weight), 0L, 255L));
    return rgb;
  }
};

Box Measure(const std::vector<Point>& points, size_t begin, size_t end) {
  Box box;
  box.begin = begin;
  box.end = end;
  for (size_t i = begin; i < end; ++i) {
    const Point& p = points[i];
    box.weight += p.weight;
    for (int a = 0; a < 3; ++a) {
      box.sum[a] += p.weight * p.colour[a];
      box.squares[a] += p.weight * p.colour[a] * p.colour[a];
    }
  }
  return box;
}

// Splits at the weighted median of the widest axis; false when the box is
// one point. The median is found from the points' weights by value (a
// colour is 0..255), and the points are partitioned, not sorted.
bool Split(std::vector<Point>& points, const Box& box, Box* low, Box* high) {
  if (box.end - box.begin < 2) return false;
  const int axis = box.WidestAxis();
  const auto first = points.begin() + static_cast<long>(box.begin);
  const auto last = points.begin() + static_cast<long>(box.end);
  double byValue[256] = {};
  for (auto p = first; p != last; ++p) byValue[std::clamp(static_cast<int>(p->colour[axis]), 0, 255)] += p->weight;
  int median = 0;
  for (double below = byValue[0]; below < box.weight / 2 && median < 255;) below += byValue[++median];
  auto cut = last;
  for (const int threshold : {median + 1, median}) {
    cut = std::partition(first, last, [&](const Point& p) { return p.colour[axis] < static_cast<float>(threshold); });
    if (cut != first && cut != last) break;
  }
  if (cut == first || cut == last) {  // every point within one value: halve them
    cut = first + (last - first) / 2;
    std::nth_element(first, cut, last, [axis](const Point& a, const Point& b) { return a.colour[axis] < b.colour[axis]; });
  }
  const size_t middle = static_cast<size_t>(cut - points.begin());
  *low = Measure(points, box.begin, middle);
  *high = Measure(points, middle, box.end);
  return true;
}

uint32_t Rounded(const float colour[3]) {
  return static_cast<uint32_t>(std::lround(colour[0])) << 16 | static_cast<uint32_t>(std::lround(colour[1])) << 8 |
         static_cast<uint32_t>(std::lround(colour[2]));
}

// Moves each entry to the mean of the points nearest to it.
void Refine(const std::vector<Point>& points, std::vector<uint32_t>* palette) {
  // The nearest-colour tree skips index 0: entries start at 1.
  std::vector<uint32_t> entries(palette->size() + 1, 0);
  std::copy(palette->begin(), palette->end(), entries.begin() + 1);
  NearestColour nearest(entries.data(), 1, static_cast<int>(entries.size()));
  std::vector<Box> sums(entries.size());
  for (const Point& p : points) {
    Box& sum = sums[nearest.Find(Rounded(p.colour))];
    sum.weight += p.weight;
    for (int a = 0; a < 3; ++a) sum.sum[a] += p.weight * p.colour[a];
  }
  for (size_t i = 1; i < entries.size(); ++i) {
    if (sums[i].weight > 0) (*palette)[i - 1] = sums[i].Mean();
  }
}

}  // namespace

ColourHistogram::ColourHistogram()
    : counts_(new (std::nothrow) uint32_t[kBins]()), sums_(new (std::nothrow) uint64_t[3 * kBins]()) {
  if (!sums_) counts_.reset();
}

std::vector<uint32_t> ColourHistogram::ChoosePalette(int colours) const {
  std::vector<Point> points;
  for (uint32_t bin = 0; bin < kBins; ++bin) {
    if (counts_[bin] == 0) continue;
    const double count = counts_[bin];
    points.push_back({{static_cast<float>(sums_[3 * bin] / count), static_cast<float>(sums_[3 * bin + 1] / count),
                       static_cast<float>(sums_[3 * bin + 2] / count)},
                      count});
  }
  std::vector<uint32_t> palette;
  if (points.empty()) return palette;
  // Always split the box that holds the most error.
  std::vector<Box> boxes = {Measure(points, 0, points.size())};
  while (static_cast<int>(boxes.size()) < colours) {
    size_t worst = 0;
    for (size_t i = 1; i < boxes.size(); ++i) {
      if (boxes[i].Error() > boxes[worst].Error()) worst = i;
    }
    Box low, high;
    if (boxes[worst].Error() <= 0 || !Split(points, boxes[worst], &low, &high)) break;
    boxes[worst] = low;
    boxes.push_back(high);
  }
  for (const Box& box : boxes) palette.push_back(box.Mean());
  for (int pass = 0; pass < kRefinements; ++pass) Refine(points, &palette);
  return palette;
}

}  // namespace peelbox
