# The two commands of the README: `make run` and `make test`.
# Both install what is missing (Debian 12, apt) before building.

JOBS  ?= $(shell nproc)
BUILD ?= build
ASAN  ?= build-asan
FUZZ  ?= build-fuzz
FUZZ_SECONDS ?= 20
# Warnings are errors in the builds `make test` makes (and so in CI), not in
# a plain `make` or `make run`.
WERROR ?=

.PHONY: all deps build run test unit-asan bench fuzz fuzz-smoke format clean install package

all: build

deps:
	@./tools/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		$(if $(WERROR),-DSORIMBA_WERROR=$(WERROR)) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/sorimba

# Every test: the release build runs all of them (unit, command line, real X),
# then a Debug build under AddressSanitizer and UndefinedBehaviorSanitizer
# runs the unit tests again, then each fuzz target runs for a short while.
test: WERROR = ON
test: build unit-asan fuzz-smoke
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@echo "All test stages passed."

unit-asan: deps
	@cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DSORIMBA_SANITIZE=ON \
		-DSORIMBA_WERROR=ON >/dev/null
	@cmake --build $(ASAN) -j $(JOBS)
	cd $(ASAN) && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
		QT_QPA_PLATFORM=offscreen ctest --output-on-failure -L unit -j $(JOBS)

bench: build
	./bench/report.sh $(BUILD)

fuzz-smoke: deps
	@./fuzz/run.sh $(FUZZ) $(FUZZ_SECONDS)

fuzz: deps
	@./fuzz/run.sh $(FUZZ) $(or $(SECONDS),1200)

# Installing: `make install` puts the programs, desktop entry, icons and
# manual pages under PREFIX (default /usr/local; DESTDIR is honoured);
# `make package` builds the Debian package into $(BUILD)/.
PREFIX ?= /usr/local

install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"

package: build
	cd $(BUILD) && cpack -G DEB
	@ls -1 $(BUILD)/*.deb

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(ASAN) $(FUZZ)
