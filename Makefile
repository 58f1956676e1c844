# Entry points; the build itself is CMake with Ninja in build/.
BUILD ?= build
SAMPLE_DIR := $(BUILD)/sample

.PHONY: all deps configure build test sample bench fuzz clean

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
	$(BUILD)/tools/synth_case/synth_case $(SAMPLE_DIR)
	cd $(SAMPLE_DIR) && printf 'case.bin\nnone\n' | ../src/input_driver
	ls -l $(SAMPLE_DIR)/case.bin.KVOwrk $(SAMPLE_DIR)/case.bin.KVOwrk.gdsinfo
	$(BUILD)/tools/kvoinfo/kvoinfo $(SAMPLE_DIR)/case.bin.KVOwrk
	$(BUILD)/tools/kvoinfo/kvoinfo --record 89 --png $(SAMPLE_DIR)/topography.png $(SAMPLE_DIR)/case.bin.KVOwrk
	$(BUILD)/tools/kvoinfo/kvoinfo --record 69 --png $(SAMPLE_DIR)/temperature.png $(SAMPLE_DIR)/case.bin.KVOwrk

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

# Build the fuzz targets with clang and libFuzzer in build-fuzz/ and run each
# for FUZZ_SECONDS; findings land in fuzz-out/.
FUZZ_SECONDS ?= 60
fuzz:
	fuzz/run.sh $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD)
