# The newcomer's two commands: `make run` and `make test`.
BUILD ?= build
CMAKE_FLAGS ?=

.PHONY: deps configure build run run-site test bench install package windows windows-test clean

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD)

run: build
	@bash scripts/run-demo.sh $(BUILD)

# The same demo fleet in the site window.
run-site: build
	@bash scripts/run-demo.sh $(BUILD) zelmar-site

test: build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --timeout 300 -j2

bench: build
	@for b in $(BUILD)/bin/bench-*; do [ -x "$$b" ] && "$$b"; done; true

install: build
	@cmake --install $(BUILD) --prefix $(or $(PREFIX),/usr/local)

# The Debian package of what `make install` installs, written into $(BUILD).
package: build
	@cd $(BUILD) && cpack -G DEB

# The tool for Windows, cross-built with MinGW-w64 into build-windows/ (its
# Qt and libsodium built once from Debian's sources into a cache), with the
# setup program and the MSI, signed when ZELMAR_SIGN_PKCS12 names a
# certificate; and its tests under Wine, inside network namespaces of their own.
windows:
	@bash scripts/windows-build.sh

windows-test: build windows
	@bash scripts/windows-test.sh $(BUILD) build-windows

clean:
	@rm -rf $(BUILD) build-windows
