// The physical constants of the synthetic atmosphere and the shapes its
// climate is built from.
#pragma once

#include <cmath>
#include <numbers>

#include "synth.hpp"

namespace synth {

inline constexpr double pi = std::numbers::pi;
inline constexpr double deg = pi / 180.0;
inline constexpr double earth_radius = 6.371e6;  // m
inline constexpr double omega = 7.292e-5;        // rotation rate of the Earth, 1/s
inline constexpr double rd = 287.05;             // gas constant of dry air, J/(kg K)
inline constexpr double gravity = 9.8;           // the converter divides geopotential by this
inline constexpr double air_density = 1.2;       // kg/m3, for the geostrophic wind of surface systems
inline constexpr double sea_level_lapse = 0.0065;  // K/m, for reducing temperatures to the terrain

inline constexpr float undefined = c2m::layout::undefined_value;

inline double sqr(double x) { return x * x; }
// A bell of WIDTH round CENTRE: 1 there, e^-1 at a width's distance.
inline double bell(double x, double centre, double width) { return std::exp(-sqr((x - centre) / width)); }

}  // namespace synth
