# The README's commands. Everything installs what it needs first.
#
#   make demo    pack the sample product and install it under Wine
#   make test    build every tree and run every test suite
#   make build   build the engines and the packer into dist/

ROOT := $(CURDIR)
DISPACK := $(ROOT)/build/native/packer/dispack

.PHONY: all deps configure build test demo bench clean

all: build

deps:
	@./scripts/install-deps.sh

configure: deps
	@cmake --preset native >/dev/null
	@cmake --preset win64 -DDISPACK_EXECUTABLE=$(DISPACK) >/dev/null
	@cmake --preset win32 >/dev/null

build: configure
	@cmake --build --preset native
	@cmake --build --preset win64
	@cmake --build --preset win32 --target engine
	@./scripts/collect-dist.sh

test: build
	@./scripts/run-tests.sh

demo: build
	@./scripts/demo.sh

bench: build
	@./bench/run.sh

clean:
	rm -rf build dist
