# Entry points; the build itself is CMake with Ninja in build/.
BUILD ?= build
PREFIX ?= /usr/local
SAMPLE_DIR := $(BUILD)/sample
C2M := $(BUILD)/tools/conv2model/conv2model

.PHONY: all deps configure build test sample install bench bench-ingest bench-netcdf-ingest bench-all-times bench-fetch fuzz clean

all: build

deps:
	@scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release

build: configure
	cmake --build $(BUILD)

# Configure, build and run every test.
test: build
	ctest --test-dir $(BUILD) --output-on-failure

# Build, generate the sample case (0.5 degree, 17 levels), convert it, list
# the outputs, print their inventory and draw the topography and the
# temperature of the lowest level.
sample: build
	rm -rf $(SAMPLE_DIR)
	$(C2M) synth $(SAMPLE_DIR)
	$(C2M) convert $(SAMPLE_DIR)/case.bin
	ls -l $(SAMPLE_DIR)/case.bin.KVOwrk $(SAMPLE_DIR)/case.bin.KVOwrk.gdsinfo
	$(C2M) info $(SAMPLE_DIR)/case.bin.KVOwrk
	$(C2M) plot $(SAMPLE_DIR)/case.bin.KVOwrk --var orog -o $(SAMPLE_DIR)/topography.png
	$(C2M) plot $(SAMPLE_DIR)/case.bin.KVOwrk --var t --level 1000 -o $(SAMPLE_DIR)/temperature.png

# Install input_driver and conv2model into $(PREFIX)/bin and the manual page
# into $(PREFIX)/share/man/man1.
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# The converter against the copy floor on global cases of 26 levels at 1,
# 0.25 and 0.1 degree (generated once into $(BUILD)/bench-cases: 0.04, 0.7
# and 4.4 GB; the outputs need about 11 GB more while they run), the 1- and
# 0.25-degree cases again replacing earlier outputs, and the 0.25-degree
# case with another core kept busy; then the micro-benchmarks.
bench: build
	python3 bench/compare.py $(BUILD) $(BUILD)/bench-cases --runs 7 \
	  --case "g100=--global --res 1 --lm 26" --case "g025=--global --res 0.25 --lm 26" \
	  --case "g010=--global --res 0.1 --lm 26" \
	  --replacing-case g100 --replacing-case g025 --busy-case g025 \
	  --target g100=1.3 --target g025=0.9 --target g010=0.9 --target "g025 busy=1.4"
	$(BUILD)/bench/micro_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

# conv2model ingest against its floor (every GRIB message decoded on one
# thread), cdo -f nc copy and a Python ecCodes script, on a global
# 0.25-degree case of 26 levels written as GRIB 2 with 16-bit simple packing
# and repacked into complex packing, CCSDS and JPEG 2000 (generated once into
# $(BUILD)/bench-cases, 0.7 GB and about 1 GB of GRIB), alternately, medians of 5.
bench-ingest: build
	python3 bench/ingest_bench.py $(BUILD) $(BUILD)/bench-cases --runs 5

# conv2model export --netcdf of the 0.25-degree model data file (0.6 GB, made
# once into $(BUILD)/bench-cases/export-0.25-26) against the copy floor of
# that file, alternately, medians of 5; then a compressed export.
.PHONY: bench-export
bench-export: build
	python3 bench/export_compare.py $(BUILD) $(BUILD)/bench-cases --runs 5

# conv2model ingest of a netCDF file against its floor (every variable read
# whole with libnetcdf) on a global 0.25-degree case of 26 levels written in
# ERA5's newer layout (netCDF-4, 4-byte reals, deflate; generated once into
# $(BUILD)/bench-cases, 0.7 GB and about 0.6 GB), alternately, medians of 5.
bench-netcdf-ingest: build
	python3 bench/netcdf_ingest_bench.py $(BUILD) $(BUILD)/bench-cases --runs 5

# conv2model ingest --all-times on one GRIB 2 file of 24 validity times
# (24 global 0.5-degree synth cases of 26 levels, 16-bit packing, generated
# once into $(BUILD)/bench-cases, 2.1 GB), -j 1 against -j 2, alternately,
# medians of 5, beside the machine's own ceiling for two processes.  Each
# run writes 4.2 GB of cases, into /dev/shm so that the disk is not what
# is timed, and removes them.
BENCH_CASES_OUT ?= /dev/shm/c2m-bench-all-times
bench-all-times: build
	python3 bench/all_times_bench.py $(BUILD) $(BUILD)/bench-cases --runs 5 --out $(BENCH_CASES_OUT)

# conv2model fetch from a local nginx serving a GFS-like file (a global
# 0.5-degree synth case of 26 levels with ten messages no case needs beside
# each level's temperature, and its index; generated once into
# $(BUILD)/bench-cases/fetch-mirror): the bytes and requests of a case
# against the whole file, and the wall time against curl downloading the
# same ranges and the whole file, alternately, medians of 5.
bench-fetch: build
	python3 bench/fetch_bench.py $(BUILD) $(BUILD)/bench-cases --runs 5

# Build the fuzz targets with clang and libFuzzer in build-fuzz/ and run each
# for FUZZ_SECONDS; findings land in fuzz-out/.
FUZZ_SECONDS ?= 60
fuzz:
	fuzz/run.sh $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD)
