# make demo   set up, build, and HotSync the sample handheld
# make test   set up, build, and run the tests (plain and sanitized builds)
# make install   build and install under PREFIX (default /usr/local; DESTDIR is honoured)

JOBS ?= $(shell nproc)
BUILD ?= build
DEMO := $(BUILD)/demo
PREFIX ?= /usr/local

.PHONY: demo test build setup clean bench fuzz install

setup:
	@scripts/setup

build: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j$(JOBS)

# Only what a HotSync needs: the command, the component and the embedded host.
demo: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j$(JOBS) --target pelorix_cli pelx mvhost
	scripts/demo $(BUILD)

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)
	cmake -S . -B $(BUILD)-sanitize -DCMAKE_BUILD_TYPE=Debug -DPELORIX_SANITIZE=ON >/dev/null
	cmake --build $(BUILD)-sanitize -j$(JOBS)
	cd $(BUILD)-sanitize && ctest --output-on-failure -j$(JOBS)

# Only what is installed: the command, the component and the plug-ins.
install: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j$(JOBS) --target pelorix_cli pelx mvhost qmclient
	cmake --install $(BUILD) --prefix $(PREFIX)

bench: setup
	cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DPELORIX_BENCH=ON >/dev/null
	cmake --build $(BUILD)-bench -j$(JOBS)

# libFuzzer targets (clang); run one with e.g. build-fuzz/bin/fuzz_memo -max_total_time=60
fuzz: setup
	CXX=clang++ cmake -S . -B $(BUILD)-fuzz -DCMAKE_BUILD_TYPE=Debug -DPELORIX_FUZZ=ON >/dev/null
	cmake --build $(BUILD)-fuzz -j$(JOBS)

clean:
	rm -rf $(BUILD) $(BUILD)-sanitize $(BUILD)-bench $(BUILD)-fuzz
