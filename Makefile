# Entry points: 'make run' (release build of the viewer, its upgrader and help collection; starts the viewer),
# 'make test' (sanitizer build, every test), 'make bench' (optimised benchmarks).
JOBS ?= $(shell nproc)

.PHONY: deps run build-release test bench build-test build-bench tsan clean

deps:
	@bash scripts/install-deps

build-release: deps
	cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKXV_TESTS=OFF -DKXV_BENCH=OFF
	cmake --build build/release -j $(JOBS) --target viewer

run: build-release
	./build/release/kxviewer/KxViewer

build-test: deps
	cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKXV_SANITIZE=ON -DKXV_BENCH=OFF
	cmake --build build/test -j $(JOBS)

test: build-test
	cd build/test && ctest --output-on-failure -j $(JOBS)

build-bench: deps
	cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKXV_TESTS=OFF -DKXV_BENCH=ON
	cmake --build build/bench -j $(JOBS)

bench: build-bench
	@for b in build/bench/bench/bench_*; do echo "== $$b"; $$b || exit 1; done

# The loads, document saves, searches and Outline builds with worker threads under ThreadSanitizer; not part of 'make test'.
tsan: deps
	cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKXV_BENCH=OFF \
		-DCMAKE_CXX_FLAGS="-fsanitize=thread -fno-omit-frame-pointer" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread"
	cmake --build build/tsan -j $(JOBS) --target test_kxlib_load_parallel test_kxlib_kxl test_kxlib_table_search test_tabletab
	./build/tsan/tests/kxlib/test_kxlib_load_parallel
	./build/tsan/tests/kxlib/test_kxlib_kxl
	./build/tsan/tests/kxlib/test_kxlib_table_search
	QT_QPA_PLATFORM=offscreen ./build/tsan/tests/kxviewer/table/test_tabletab --gtest_filter='OutlineTest.*'

clean:
	rm -rf build
