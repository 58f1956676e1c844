# Entry points; the build itself is CMake with Ninja in build/.
BUILD ?= build
SAMPLE_DIR := $(BUILD)/sample

.PHONY: all deps configure build test sample fuzz clean

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

# Build, generate the sample case, convert it, list the outputs.
sample: build
	rm -rf $(SAMPLE_DIR)
	$(BUILD)/tools/synth_case/synth_case $(SAMPLE_DIR)
	cd $(SAMPLE_DIR) && printf 'case.bin\nnone\n' | ../src/input_driver
	ls -l $(SAMPLE_DIR)/case.bin.KVOwrk $(SAMPLE_DIR)/case.bin.KVOwrk.gdsinfo

# Build the fuzz targets with clang and libFuzzer in build-fuzz/ and run each
# for FUZZ_SECONDS; findings land in fuzz-out/.
FUZZ_SECONDS ?= 60
fuzz:
	fuzz/run.sh $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD)
