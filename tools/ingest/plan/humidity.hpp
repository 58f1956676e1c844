// The humidity of a case, as the converter wants it.
//
// The converter makes the model's specific humidity from the relative
// humidity records alone: q = RH x 0.00622 e / (p - e), e the Goff-Gratch
// saturation vapour pressure over water of its own table (estab) at its
// own truncated index of T, all in 4-byte reals.  That is a saturation
// mixing ratio scaled by RH, not the specific humidity of the physics,
// 0.622 e / (p - 0.378 e) with e = RH / 100 x es: fed the physical RH over
// water, the converter gives a q that is always high, by up to 7 % in
// warm dry air near the ground.  So by default the relative-humidity
// records hold the converter's own RH, the value from which it gives back
// the case's q (HumidityRecords::exact); the physical RH over water is
// there for those who want the records to mean what they say
// (HumidityRecords::physical).
//
// The physical RH over water is worked out with the converter's table:
//   - from specific humidity q (kg/kg) at pressure p: the vapour pressure
//     e = q p / (0.622 + 0.378 q), RH = 100 e / es_water(T);
//   - from relative humidity r that a centre gave over its own mixture of
//     water and ice: e = r / 100 x es_mixed(T), RH = 100 e / es_water(T).
// Where a level has no humidity of its own, q follows from T and RH over
// water: q = 0.622 e / (p - 0.378 e), e = RH / 100 x es_water(T).
//
// es_water is looked up in the converter's table at the 0.01 K step at or
// below T, exactly as the converter looks it up: the converter then
// recovers the vapour pressure the case was made from.
//
// Every plane is im x jm 4-byte reals; undefined points (undefined_value)
// stay undefined.
#pragma once

#include <span>

namespace c2m::ingest {

// What the relative-humidity records of a case hold.
enum class HumidityRecords {
  exact,     // the converter's RH: from it the converter gives back the case's q
  physical,  // relative humidity over water
};

// How a centre defines the saturation behind its relative humidity.
enum class MixedPhase {
  ecmwf,  // water at and above 273.16 K, ice at and below 250.16 K, quadratic blend between
  ncep,   // water at and above 273.16 K, ice at and below 253.16 K, linear in T between
  water,  // over water at every temperature
};

// The rule of centre CENTRE (WMO number): 98 ECMWF, 7 NCEP, any other
// over water.
MixedPhase mixed_phase_of(long centre);

// Saturation vapour pressure (Pa) of the centre's definition, from the
// formulas of ECMWF's documentation: es = a1 exp(a3 (T - T0) / (T - a4)),
// over water a1 = 611.21 Pa, a3 = 17.502, a4 = 32.19 K, over ice
// a3 = 22.587, a4 = -0.7 K, T0 = 273.16 K.
float es_mixed_pa(MixedPhase m, float t);
float es_water_pa(float t);
float es_ice_pa(float t);
// The converter's saturation over water at T (hPa): its table entry.
// The esat table must have been filled (estab::es_ini).
float es_water_hpa(float t);

// Q_TO_RH: specific humidity in, relative humidity (%) out: over water, or
// (exact) the converter's (rh_for_converter).
void rh_from_q(std::span<const float> t, std::span<float> q_to_rh, float p_hpa,
               HumidityRecords records = HumidityRecords::physical);
// RH: the relative humidity from which the converter, with its own
// saturation at T and P_HPA, gives back Q within 2 units in the last place
// (exactly, for all but the tiniest q).  Starting from q / qs, the
// converter's qs, it steps by units in the last place until RH x qs in
// 4-byte reals comes nearest q.  Q = 0 gives 0; an undefined T or Q an
// undefined RH.  Q and RH may be the same span.
void rh_for_converter(std::span<const float> t, std::span<const float> q, std::span<float> rh, float p_hpa);
// R_TO_RH: relative humidity over the centre's phase in, over water out.
void rh_from_mixed(std::span<const float> t, std::span<float> r_to_rh, MixedPhase m);
// T_TO_Q: temperature in, specific humidity out.  Where p - 0.378 e is not
// positive, q is undefined.
void q_from_rh(std::span<float> t_to_q, std::span<const float> rh, float p_hpa);

// Weights of the levels below (at P_BELOW) and above (at P_ABOVE) for a
// level at P, linear in ln p; they add up to 1.
struct FillWeights {
  float below = 0, above = 0;
};
FillWeights fill_weights(float p, float p_below, float p_above);
// BELOW_TO_OUT: below in, w.below x below + w.above x above out.
void fill_between(std::span<float> below_to_out, std::span<const float> above, FillWeights w);

}  // namespace c2m::ingest
