# The README's commands. Everything installs what it needs first.
#
#   make demo    pack the sample product and install it under Wine
#   make test    build every tree and run every test suite
#   make test-win32    the 32-bit engine's suites in a virtual machine
#   make build   build the engines and the packers into dist/
#   make wizard-demo   open the sample product's wizard (or walk it under Xvfb)
#   make screenshots   a PNG of every wizard page into docs/screenshots/

ROOT := $(CURDIR)
DISPACK := $(ROOT)/build/native/packer/dispack

.PHONY: all deps build test test-win32 demo bench clean screenshots wizard-demo

all: build

deps:
	@./scripts/install-deps.sh

# The native tree comes first: the Windows tests are packed with its dispack.
build: deps
	@cmake --preset native >/dev/null
	@cmake --build --preset native
	@cmake --preset win64 -DDISPACK_EXECUTABLE=$(DISPACK) >/dev/null
	@cmake --build --preset win64
	@cmake --preset win32 -DDISPACK_EXECUTABLE=$(DISPACK) >/dev/null
	@cmake --build --preset win32 --target engine dispack
	@./scripts/collect-dist.sh

test: build
	@./scripts/run-tests.sh

test-win32: build
	@./scripts/run-win32-tests.sh full

demo: build
	@./scripts/demo.sh

wizard-demo: build
	@./scripts/wizard-demo.sh

screenshots: build
	@./scripts/screenshots.sh

bench: build
	@./bench/run.sh

clean:
	rm -rf build dist
