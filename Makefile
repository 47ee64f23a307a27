# The two everyday commands: `make run` and `make test`. Each one installs what is
# missing, configures and builds first.
PRESET ?= debug
BUILD  := build/$(PRESET)

.PHONY: setup configure build run test sanitize bench fuzz format clean

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

# The suite under ASan + UBSan, and the concurrency tests under ThreadSanitizer.
sanitize: setup
	@test -f build/asan/build.ninja || cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan -j2
	@test -f build/tsan/build.ninja || cmake --preset tsan
	cmake --build --preset tsan
	ctest --preset tsan -j2 -L net

fuzz: setup
	@test -f build/fuzz/build.ninja || cmake --preset fuzz
	cmake --build --preset fuzz
	@bash tools/fuzz.sh build/fuzz

bench:
	@$(MAKE) --no-print-directory build PRESET=release
	@bash tools/bench.sh build/release

# The Debian package of a release build: build/release/velmora_<version>_<arch>.deb.
.PHONY: package
package:
	@$(MAKE) --no-print-directory build PRESET=release
	cmake --build --preset release --target package

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build
