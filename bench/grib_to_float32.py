#!/usr/bin/python3
"""What a user would write instead of ingest: each message's values read with
ecCodes' Python module and written as 4-byte reals, one after the other.

  grib_to_float32.py IN.grib OUT.bin
"""
import sys

import eccodes
import numpy


def main():
    src, dst = sys.argv[1], sys.argv[2]
    with open(src, "rb") as f, open(dst, "wb") as out:
        while True:
            h = eccodes.codes_grib_new_from_file(f)
            if h is None:
                break
            try:
                eccodes.codes_get_values(h).astype(numpy.float32).tofile(out)
            finally:
                eccodes.codes_release(h)


if __name__ == "__main__":
    main()
