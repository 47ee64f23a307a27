# The two everyday commands: `make run` and `make test`. Each one installs what is
# missing, configures and builds first.
PRESET ?= debug
BUILD  := build/$(PRESET)

.PHONY: setup configure build run test bench format clean

setup:
	@bash tools/setup.sh

configure: setup
	@test -f $(BUILD)/build.ninja || cmake --preset $(PRESET)

build: configure
	cmake --build --preset $(PRESET)

run: build
	@bash tools/run.sh $(BUILD)

test: build
	ctest --preset $(PRESET) -j2

bench:
	@$(MAKE) --no-print-directory build PRESET=release
	@bash tools/bench.sh build/release

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build
