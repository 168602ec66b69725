# Thin wrapper over CMake: `make demo` builds the two tools and converts a
# sample input, `make test` builds and runs every test, `make package` makes
# a Debian package.
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all build tools demo test package clean

all: build

# Everything: the tools, and the tests and benchmarks when GoogleTest and
# Google Benchmark are installed.
build:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

# The two tools alone.
tools:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS) --target pagesmith pagecheck

# Converts the freshly built binary itself into an image with header pages
# and fill; the trace goes to a file next to it.
demo: tools
	$(BUILD)/pagesmith $(BUILD)/pagesmith $(BUILD)/demo.img -h -f > $(BUILD)/demo.trace
	@echo "image: $(BUILD)/demo.img ($$(wc -c < $(BUILD)/demo.img) bytes), trace: $(BUILD)/demo.trace"

# Tests and benchmarks are required here: configuring stops with the name of
# the missing Debian package.
test:
	cmake -S . -B $(BUILD) -DPAGESMITH_TESTS=ON -DPAGESMITH_BENCHMARKS=ON $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)
	ctest --test-dir $(BUILD) -j $(JOBS) --output-on-failure

# A .deb of the tools, their manual pages and the docs, in $(BUILD).
package: tools
	cd $(BUILD) && cpack -G DEB

clean:
	rm -rf $(BUILD)
