# make demo   set up, build, and HotSync the sample handheld
# make test   set up, build, and run the tests (plain and sanitized builds)
# make install   build and install under PREFIX (default /usr/local; DESTDIR is honoured)

JOBS ?= $(shell nproc)
BUILD ?= build
DEMO := $(BUILD)/demo
PREFIX ?= /usr/local

.PHONY: demo test build setup clean bench fuzz fuzz-run install

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

# The tests build with warnings as errors, check the include layers, and run
# every fuzz target for a short while.
test: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELORIX_WERROR=ON >/dev/null
	cmake --build $(BUILD) -j$(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)
	cmake -S . -B $(BUILD)-sanitize -DCMAKE_BUILD_TYPE=Debug -DPELORIX_SANITIZE=ON -DPELORIX_WERROR=ON >/dev/null
	cmake --build $(BUILD)-sanitize -j$(JOBS)
	cd $(BUILD)-sanitize && ctest --output-on-failure -j$(JOBS)
	$(MAKE) fuzz-run

# Only what is installed: the command, the component and the plug-ins.
install: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	cmake --build $(BUILD) -j$(JOBS) --target pelorix_cli pelx mvhost qmclient
	cmake --install $(BUILD) --prefix $(PREFIX)

bench: setup
	cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DPELORIX_BENCH=ON >/dev/null
	cmake --build $(BUILD)-bench -j$(JOBS)

# libFuzzer targets (clang); run one with e.g. build-fuzz/bin/fuzz_memo -max_total_time=60
FUZZERS := fuzz_memo fuzz_address fuzz_todo fuzz_datebook fuzz_pdb fuzz_settings fuzz_basic
FUZZ_SECONDS ?= 10
fuzz: setup
	CXX=clang++ cmake -S . -B $(BUILD)-fuzz -DCMAKE_BUILD_TYPE=Debug -DPELORIX_FUZZ=ON >/dev/null
	cmake --build $(BUILD)-fuzz -j$(JOBS) --target fuzzers

# Each fuzz target for FUZZ_SECONDS; a crash, a leak or a timeout fails. The
# BASIC target starts from the sample and probe programs, with the language's words.
FUZZ_BASIC_ARGS := -dict=fuzz/basic.dict samples/host/BP tests/qm/probes/BP
fuzz-run: fuzz
	@mkdir -p $(BUILD)-fuzz/corpus
	@for f in $(FUZZERS); do \
	  echo "== $$f ($(FUZZ_SECONDS) s)"; mkdir -p $(BUILD)-fuzz/corpus/$$f; \
	  $(BUILD)-fuzz/bin/$$f -max_total_time=$(FUZZ_SECONDS) -timeout=5 -rss_limit_mb=2048 \
	    -artifact_prefix=$(BUILD)-fuzz/ $(BUILD)-fuzz/corpus/$$f $$([ $$f = fuzz_basic ] && echo "$(FUZZ_BASIC_ARGS)") 2>$(BUILD)-fuzz/$$f.log || \
	    { tail -40 $(BUILD)-fuzz/$$f.log; exit 1; }; \
	done

clean:
	rm -rf $(BUILD) $(BUILD)-sanitize $(BUILD)-bench $(BUILD)-fuzz
