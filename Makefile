# make run   — install what is missing, build, start the program
# make test  — install what is missing, build, run every test
BUILD ?= build
TYPE ?= Release
JOBS ?= 2
# Extra configure options, e.g. CMAKE_ARGS=-DVYR_WARNINGS_AS_ERRORS=ON (what .ci/run passes).
CMAKE_ARGS ?=

.PHONY: setup configure build run test clean
setup:
	bash scripts/setup

configure: setup
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(TYPE) $(CMAKE_ARGS)

build: configure
	cmake --build $(BUILD) -j$(JOBS)

run: build
	$(BUILD)/bin/Vyr_DoridOvov

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)

clean:
	rm -rf $(BUILD)
