# Thin wrapper over CMake: `make demo` builds and converts a sample input,
# `make test` builds and runs every test.
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all build demo test bench clean

all: build

build:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

# Converts the freshly built binary itself into an image with header pages
# and fill; the trace goes to a file next to it.
demo: build
	./$(BUILD)/pagesmith $(BUILD)/pagesmith $(BUILD)/demo.img -h -f > $(BUILD)/demo.trace
	@echo "image: $(BUILD)/demo.img ($$(wc -c < $(BUILD)/demo.img) bytes), trace: $(BUILD)/demo.trace"

test: build
	ctest --test-dir $(BUILD) -j $(JOBS) --output-on-failure

clean:
	rm -rf $(BUILD)
