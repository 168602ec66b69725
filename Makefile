# Thin wrapper over CMake.  `make demo` builds the two tools and shows them at
# work on a sample input, `make test` builds and runs every test.  Each target
# first installs the Debian packages it needs (scripts/deps); NO_INSTALL=1
# prints the install command and stops instead.
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?=
NO_INSTALL ?=
PREFIX ?= /usr/local
DESTDIR ?=
FUZZ_BUILD ?= $(BUILD)-fuzz
FUZZ_SECONDS ?= 25

MAKEFLAGS += --no-print-directory

# Installs what the named targets need: $(call deps,demo test).
deps_for = @NO_INSTALL=$(NO_INSTALL) scripts/deps $(1)
configure = cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

.PHONY: all deps build tools demo test bench fuzz package install clean

all: build

# The packages that `make demo` and `make test` need, and nothing else.
deps:
	$(call deps_for,demo test)

# Everything: the tools, and the tests and benchmarks when GoogleTest and
# Google Benchmark are installed.
build:
	$(call deps_for,demo)
	$(configure)
	cmake --build $(BUILD) -j $(JOBS)

# The two tools alone.
tools:
	$(call deps_for,demo)
	$(configure)
	cmake --build $(BUILD) -j $(JOBS) --target pagesmith pagecheck

# Converts the freshly built binary itself into an image with header pages
# and fill, checks it with pagecheck and draws its map.
demo: tools
	@$(BUILD)/pagesmith $(BUILD)/pagesmith $(BUILD)/demo.img -h -f > $(BUILD)/demo.trace
	@echo "image: $(BUILD)/demo.img ($$(wc -c < $(BUILD)/demo.img) bytes), trace: $(BUILD)/demo.trace"
	@echo "pagecheck $(BUILD)/demo.img:"
	@$(BUILD)/pagecheck --svg $(BUILD)/demo.svg $(BUILD)/demo.img
	@echo "map of the image: $(BUILD)/demo.svg (open it in a web browser)"

# Every test; the tests are required here, the benchmarks are not.
test:
	$(call deps_for,test)
	$(configure) -DPAGESMITH_TESTS=ON
	cmake --build $(BUILD) -j $(JOBS)
	ctest --test-dir $(BUILD) -j $(JOBS) --output-on-failure

# The ECC benchmark and the throughput scripts (see README, Performance).
bench:
	$(call deps_for,bench)
	$(configure) -DPAGESMITH_BENCHMARKS=ON
	cmake --build $(BUILD) -j $(JOBS) --target pagesmith pagecheck ecc_bench
	$(BUILD)/bench/ecc_bench
	bench/throughput.sh $(BUILD)
	bench/pagecheck_speed.sh $(BUILD)

# The libFuzzer targets, built with clang++ in $(FUZZ_BUILD), each run for
# FUZZ_SECONDS from the seed corpus.
fuzz:
	$(call deps_for,fuzz)
	CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DPAGESMITH_FUZZ=ON -DPAGESMITH_TESTS=OFF \
	  -DPAGESMITH_BENCHMARKS=OFF $(CMAKE_FLAGS)
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	fuzz/run $(FUZZ_BUILD) $(FUZZ_SECONDS)

# A .deb of the tools, their manual pages and the docs, in $(BUILD).
package:
	$(call deps_for,package)
	$(configure)
	cmake --build $(BUILD) -j $(JOBS) --target pagesmith pagecheck
	cd $(BUILD) && cpack -G DEB

# The tools, manual pages and docs under $(DESTDIR)$(PREFIX).
install: tools
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD)
