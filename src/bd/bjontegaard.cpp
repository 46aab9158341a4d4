#include "bd/bjontegaard.h"

#include <Eigen/Dense>

#include <algorithm>
#include <cmath>
#include <sstream>

namespace {

// A curve as the function to integrate: y against strictly increasing x.
struct Samples {
  std::vector<double> x;
  std::vector<double> y;
};

std::string describe(double value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

// The finite points of a curve as samples of y(x), sorted by x; the reason when they cannot
// be interpolated.
std::string samplesOf(const std::vector<RatePoint>& curve, bool qualityIsX, const char* role,
                      Samples& samples) {
  std::vector<std::pair<double, double>> points;
  for (const RatePoint& point : curve)
    if (std::isfinite(point.rate) && point.rate > 0.0 && std::isfinite(point.quality)) {
      const double logRate = std::log10(point.rate);
      points.emplace_back(qualityIsX ? point.quality : logRate,
                          qualityIsX ? logRate : point.quality);
    }
  if (points.size() < kFewestRatePoints)
    return std::string("the ") + role + " has " + std::to_string(points.size()) +
           " rate points with a positive rate and a finite PSNR; at least " +
           std::to_string(kFewestRatePoints) + " are needed";
  std::sort(points.begin(), points.end());
  for (std::size_t i = 1; i < points.size(); ++i)
    if (points[i].first == points[i - 1].first)
      return std::string("two rate points of the ") + role + " have the same " +
             (qualityIsX ? "PSNR, " + describe(points[i].first) + " dB"
                         : "rate, " + describe(std::pow(10.0, points[i].first)) + " bpp");
  for (const auto& [x, y] : points) {
    samples.x.push_back(x);
    samples.y.push_back(y);
  }
  return "";
}

double sign(double value) {
  return value > 0.0 ? 1.0 : value < 0.0 ? -1.0 : 0.0;
}

// The derivative at an end from the two nearest intervals, kept from overshooting.
double endDerivative(double h0, double h1, double slope0, double slope1) {
  double derivative = ((2.0 * h0 + h1) * slope0 - h0 * slope1) / (h0 + h1);
  if (sign(derivative) != sign(slope0))
    derivative = 0.0;
  else if (sign(slope0) != sign(slope1) && std::abs(derivative) > std::abs(3.0 * slope0))
    derivative = 3.0 * slope0;
  return derivative;
}

// PCHIP's derivatives at the samples.
std::vector<double> pchipDerivatives(const Samples& samples) {
  const std::size_t n = samples.x.size();
  std::vector<double> h(n - 1), slope(n - 1), derivative(n, 0.0);
  for (std::size_t k = 0; k + 1 < n; ++k) {
    h[k] = samples.x[k + 1] - samples.x[k];
    slope[k] = (samples.y[k + 1] - samples.y[k]) / h[k];
  }
  for (std::size_t k = 1; k + 1 < n; ++k) {
    if (slope[k - 1] == 0.0 || slope[k] == 0.0 || sign(slope[k - 1]) != sign(slope[k]))
      continue;
    const double w1 = 2.0 * h[k] + h[k - 1];
    const double w2 = h[k] + 2.0 * h[k - 1];
    derivative[k] = (w1 + w2) / (w1 / slope[k - 1] + w2 / slope[k]);
  }
  derivative[0] = endDerivative(h[0], h[1], slope[0], slope[1]);
  derivative[n - 1] = endDerivative(h[n - 2], h[n - 3], slope[n - 2], slope[n - 3]);
  return derivative;
}

// The integral of one Hermite piece over [x_k, x_k + t h], t from 0 to 1.
double hermiteIntegral(double y0, double y1, double d0, double d1, double h, double t) {
  const double t2 = t * t, t3 = t2 * t, t4 = t3 * t;
  return h * (y0 * (t4 / 2.0 - t3 + t) + h * d0 * (t4 / 4.0 - 2.0 * t3 / 3.0 + t2 / 2.0) +
              y1 * (-t4 / 2.0 + t3) + h * d1 * (t4 / 4.0 - t3 / 3.0));
}

// The integral of the piecewise cubic through the samples over [low, high], inside their range.
double pchipIntegral(const Samples& samples, double low, double high) {
  const std::vector<double> derivative = pchipDerivatives(samples);
  double total = 0.0;
  for (std::size_t k = 0; k + 1 < samples.x.size(); ++k) {
    const double x0 = samples.x[k], x1 = samples.x[k + 1];
    const double from = std::max(low, x0), to = std::min(high, x1);
    if (from >= to)
      continue;
    const double h = x1 - x0;
    const auto integral = [&](double x) {
      return hermiteIntegral(samples.y[k], samples.y[k + 1], derivative[k], derivative[k + 1], h,
                             (x - x0) / h);
    };
    total += integral(to) - integral(from);
  }
  return total;
}

// The integral over [low, high] of the cubic fitted to the samples by least squares, on x
// centred and scaled for a well-conditioned fit.
double cubicFitIntegral(const Samples& samples, double low, double high) {
  const std::size_t n = samples.x.size();
  const double centre = (samples.x.front() + samples.x.back()) / 2.0;
  const double scale = (samples.x.back() - samples.x.front()) / 2.0;
  Eigen::MatrixXd powers(n, 4);
  Eigen::VectorXd values(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double u = (samples.x[i] - centre) / scale;
    for (int p = 0; p < 4; ++p)
      powers(static_cast<Eigen::Index>(i), p) = std::pow(u, p);
    values(static_cast<Eigen::Index>(i)) = samples.y[i];
  }
  const Eigen::VectorXd c = powers.colPivHouseholderQr().solve(values);
  const auto antiderivative = [&](double x) {
    const double u = (x - centre) / scale;
    return scale *
           (c(0) * u + c(1) * u * u / 2.0 + c(2) * u * u * u / 3.0 + c(3) * u * u * u * u / 4.0);
  };
  return antiderivative(high) - antiderivative(low);
}

// The mean of test - anchor over the range both cover, of y as a function of x.
BjontegaardDelta meanDifference(const std::vector<RatePoint>& anchor,
                                const std::vector<RatePoint>& test, bool qualityIsX,
                                Interpolation interpolation) {
  Samples a, b;
  std::string reason = samplesOf(anchor, qualityIsX, "anchor", a);
  if (reason.empty())
    reason = samplesOf(test, qualityIsX, "test curve", b);
  if (!reason.empty())
    return {std::nullopt, reason};
  const double low = std::max(a.x.front(), b.x.front());
  const double high = std::min(a.x.back(), b.x.back());
  if (low >= high) {
    const auto range = [&](const Samples& s) {
      return qualityIsX ? describe(s.x.front()) + " to " + describe(s.x.back()) + " dB"
                        : describe(std::pow(10.0, s.x.front())) + " to " +
                              describe(std::pow(10.0, s.x.back())) + " bpp";
    };
    return {std::nullopt, std::string("the curves do not overlap in ") +
                              (qualityIsX ? "PSNR" : "rate") + ": the anchor spans " + range(a) +
                              ", the test curve " + range(b)};
  }
  const auto integral = [&](const Samples& s) {
    return interpolation == Interpolation::PiecewiseCubic ? pchipIntegral(s, low, high)
                                                          : cubicFitIntegral(s, low, high);
  };
  return {(integral(b) - integral(a)) / (high - low), ""};
}

} // namespace

BjontegaardDelta bjontegaardRate(const std::vector<RatePoint>& anchor,
                                 const std::vector<RatePoint>& test, Interpolation interpolation) {
  BjontegaardDelta delta = meanDifference(anchor, test, true, interpolation);
  if (delta.value)
    delta.value = (std::pow(10.0, *delta.value) - 1.0) * 100.0;
  return delta;
}

BjontegaardDelta bjontegaardQuality(const std::vector<RatePoint>& anchor,
                                    const std::vector<RatePoint>& test,
                                    Interpolation interpolation) {
  return meanDifference(anchor, test, false, interpolation);
}
