"""Reads an exported netCDF file back with xarray and checks it against the
model data file it came from and the expectations the test hands over.

  netcdf_readback.py EXPECTED.json

EXPECTED holds: "nc" and "model" (the two files), "im", "jm", "lm", the
coordinates "plev", "lat" and "lon" as exact values, "time" (ISO text of the
one time step, or null for a file without a time axis), and "fields": in
record order, each with "name", "upper" (on levels), "standard_name" (or
null), "units" and "long_name".

Prints one line per fault ("FAIL: ..."), then "checked N variables"; the exit
status is 1 when anything failed.  Values are compared as bits: the records
through numpy.fromfile of the model data file, the netCDF variables opened
with mask_and_scale=False, so that no fill value or scaling touches them.
"""
import json
import sys

import numpy as np
import xarray as xr


def main():
    with open(sys.argv[1]) as f:
        x = json.load(f)
    faults = []

    def fail(text):
        faults.append(text)
        print("FAIL: " + text)

    im, jm, lm = x["im"], x["jm"], x["lm"]
    records = np.fromfile(x["model"], "<u4").reshape(-1, jm, im)
    if records.shape[0] != 5 * lm + 12:
        fail(f"the model data file holds {records.shape[0]} records, not {5 * lm + 12}")

    ds = xr.open_dataset(x["nc"], mask_and_scale=False)
    timed = x["time"] is not None
    if timed:
        if "time" not in ds.dims or ds.sizes["time"] != 1:
            fail(f"time dimension: {dict(ds.sizes)}")
        else:
            got = np.datetime_as_string(ds["time"].values[0], unit="s")
            if got != x["time"]:
                fail(f"time decodes to {got}, not {x['time']}")
            if ds["time"].dtype.kind != "M":
                fail(f"time not decoded as a date: {ds['time'].dtype}")
    elif "time" in ds.dims or "time" in ds.variables:
        fail("a time axis in a file without a date")

    for axis in ("plev", "lat", "lon"):
        got = ds[axis].values
        want = np.array(x[axis], dtype=np.float64)
        if got.dtype != np.float64 or got.shape != want.shape or not np.array_equal(got, want):
            fail(f"{axis} is {got.tolist()} ({got.dtype}), not {want.tolist()}")
    if ds["plev"].attrs.get("units") != "Pa" or ds["plev"].attrs.get("positive") != "down":
        fail(f"plev attributes {ds['plev'].attrs}")
    if ds["lat"].attrs.get("units") != "degrees_north" or ds["lon"].attrs.get("units") != "degrees_east":
        fail("lat/lon units")

    n = 0
    checked = 0
    for field in x["fields"]:
        name = field["name"]
        if name not in ds.data_vars:
            fail(f"no variable {name}; the file has {sorted(ds.data_vars)}")
            n += lm if field["upper"] else 1
            continue
        var = ds[name]
        dims = (("time",) if timed else ()) + (("plev",) if field["upper"] else ()) + ("lat", "lon")
        if var.dims != dims:
            fail(f"{name} on {var.dims}, not {dims}")
        if var.dtype != np.float32:
            fail(f"{name} is {var.dtype}, not float32")
        for key in ("standard_name", "units", "long_name"):
            if var.attrs.get(key) != field[key]:
                fail(f"{name}:{key} is {var.attrs.get(key)!r}, not {field[key]!r}")
        fill = var.attrs.get("_FillValue")
        if fill is None or np.float32(fill).view("<u4") != np.float32(-99999.0).view("<u4"):
            fail(f"{name}:_FillValue is {fill!r}")
        bits = np.ascontiguousarray(var.values).view("<u4").reshape(-1, jm, im)
        levels = lm if field["upper"] else 1
        want = records[n:n + levels]
        if bits.shape != want.shape:
            fail(f"{name}: shape {bits.shape}, records {want.shape}")
        else:
            wrong = np.argwhere(bits != want)
            if wrong.size:
                k, j, i = wrong[0]
                fail(f"{name}: {len(wrong)} points differ from record {n + k + 1}, first at row {j + 1}, "
                     f"column {i + 1}: {bits[k, j, i]:08x} for {want[k, j, i]:08x}")
        n += levels
        checked += 1
    extra = sorted(set(ds.data_vars) - {f["name"] for f in x["fields"]})
    if extra:
        fail(f"variables beyond the fields: {extra}")
    print(f"checked {checked} variables")
    sys.exit(1 if faults else 0)


if __name__ == "__main__":
    main()
