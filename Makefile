# The two everyday commands: `make run` and `make test`. Each one installs what is
# missing, configures and builds first.
PRESET ?= debug
BUILD  := build/$(PRESET)

.PHONY: setup configure build run test sanitize sanitize-asan sanitize-tsan bench fuzz format clean

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

# The whole suite under ASan + UBSan (build/asan), and the tests where threads
# meet (worker, load, hostile-server and window tests) under ThreadSanitizer
# (build/tsan). Which tests, and the suppressions for the uninstrumented system
# libraries, are set in the asan and tsan presets.
sanitize: sanitize-asan sanitize-tsan

sanitize-asan: setup
	@test -f build/asan/build.ninja || cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan -j2

sanitize-tsan: setup
	@test -f build/tsan/build.ninja || cmake --preset tsan
	cmake --build --preset tsan
	ctest --preset tsan -j2

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
