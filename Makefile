# Two commands: `make run` and `make test`. Both install what is missing,
# build, then start the editor or run the whole suite.
SANITIZE ?=
ifeq ($(SANITIZE),1)
BUILD ?= build-sanitize
CMAKE_FLAGS += -DTHARNVIK_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
else
BUILD ?= build
CMAKE_FLAGS += -DCMAKE_BUILD_TYPE=RelWithDebInfo
endif
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all deps configure build run test soak bench install package clean

all: build

deps:
	@sh tools/install-deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS)

configure: $(BUILD)/build.ninja

build: deps configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	sh tools/run-editor.sh $(BUILD)

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) $(CTEST_ARGS)

# Random work and faults for an hour (`make test` runs a minute of it).
# SOAK_SECONDS and SOAK_FIRST (the first seed) can be given.
SOAK_SECONDS ?= 3600
SOAK_FIRST ?= $(shell date +%s)
soak: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen THARNVIK_SOAK_SECONDS=$(SOAK_SECONDS) \
		THARNVIK_SOAK_FIRST=$(SOAK_FIRST) ./tests/integration/test_soak

bench: build
	sh tools/run-benchmarks.sh $(BUILD)

# `make install` (PREFIX defaults to /usr/local; DESTDIR is honoured).
PREFIX ?= /usr/local
install: build
	DESTDIR=$(DESTDIR) cmake --install $(BUILD) --prefix $(PREFIX)

# A Debian package in $(BUILD)/ (installs to /usr).
package: build
	cd $(BUILD) && cpack

clean:
	rm -rf build build-sanitize
