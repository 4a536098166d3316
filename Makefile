# QIRO -- motif discovery with a genetic algorithm.
#
#   make            build release binaries: build/qiro and build/qiro-freq
#   make deps       apt-get install every Debian package this machine lacks: the build's,
#                   the test tools and Google Benchmark (tools/install-deps.sh)
#   make demo       build the two programs, then run qiro on the bundled E. coli CRP
#                   example (first installs the build packages it lacks, nothing else)
#   make test       build and run every test (unit and command-line); first installs
#                   the build packages and test tools it lacks (not Google Benchmark,
#                   which no test needs: the benchmarks are built too when it is there)
#   make test-asan  the same tests under AddressSanitizer + UndefinedBehaviorSanitizer
#   make fuzz       build the fuzz targets with clang and run each for FUZZ_SECONDS
#                   (FUZZ_JOBS at a time); see docs/robustness.md
#   make memcheck   valgrind memcheck of a small complete run
#   make bench      install Google Benchmark if missing, build and run the kernel
#                   benchmarks, then the whole-run comparison
#                   with an older commit (bench/compare.sh; RUNS, OLD_RUNS, CASES)
#   make accuracy   build, then score qiro on the data sets with known sites
#                   (ACCURACY_DATA, default ../shared/data; table in build/accuracy/)
#   make accuracy-controls  build, then run qiro on inputs that should give no motif and
#                   on ENCODE ChIP-seq peaks (CONTROLS_ARGS, e.g.
#                   CONTROLS_ARGS='--qiro-args="-mask T -evalue 0.05 -threads 1"';
#                   table in build/accuracy-controls/)
#   make accuracy-naming  build, then name the top motif of each ENCODE factor after
#                   JASPAR 2024 vertebrates (-db) and test where its sites sit, beside
#                   shuffled peaks (bench/accuracy/naming.py; build/accuracy-naming/)
#   make install    build, then install qiro, qiro-freq, the Python module qiro
#                   (lib/python3.X/dist-packages), their man pages, the README,
#                   LICENSE, CITATION.cff, the examples and the bash completion under
#                   PREFIX (default /usr/local; DESTDIR prepended when given); the
#                   files installed are listed in build/installed-files.txt
#   make uninstall  remove the files that list names (and the emptied share/doc/qiro)
#   make deb        build, then the Debian package build/qiro_<version>_<arch>.deb
#                   (CPack; Depends from the linked shared libraries, so dpkg-dev);
#                   install it with sudo apt-get install ./build/qiro_<version>_<arch>.deb
#   make docs       build, then make the man page's option entries and
#                   docs/reference/options.md from the option table (src/cli/OptionTable.cpp)
#   make wheel      build, then a wheel of the Python module for the interpreter it was
#                   built for (build/dist/qiro-<version>-cp3X-...whl), offline, with
#                   Debian's python3-build, python3-setuptools and python3-wheel;
#                   pip install build/dist/qiro-*.whl (in a venv or with --user)
#   make clean      remove the build folders

JOBS ?= 2
BUILD ?= build
ASAN_BUILD ?= build-asan
ACCURACY_DATA ?= ../shared/data
ACCURACY_ARGS ?=
CONTROLS_ARGS ?=
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_JOBS ?= 1
FUZZ_TARGETS ?= fasta freq pk options db neg peak
PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: docs all deps demo test test-asan fuzz memcheck bench accuracy accuracy-controls accuracy-naming install uninstall deb wheel clean

all:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

deps:
	bash tools/install-deps.sh

docs: all
	$(BUILD)/qiro-docs write .

demo:
	bash tools/install-deps.sh build
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS) --target qiro qiro-freq
	cd examples && ../$(BUILD)/qiro -i crp0.fasta -freq crp0.freq -k 22 -seed 1 -o crp0.qiro.out

test:
	bash tools/install-deps.sh test
	$(MAKE) --no-print-directory all
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-asan:
	bash tools/install-deps.sh test
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DQIRO_SANITIZE=ON -DQIRO_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j $(JOBS)

fuzz:
	bash tools/install-deps.sh fuzz
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
		-DQIRO_FUZZ=ON -DQIRO_TESTS=OFF -DQIRO_BENCH=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	FUZZ_JOBS=$(FUZZ_JOBS) bash tools/run-fuzz.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# Two complete small runs of the bundled example under valgrind (a short
# search with post-processing and every extra output; then with the known
# sites as prior knowledge); any memory error or leak fails.
VALGRIND = valgrind --tool=memcheck --error-exitcode=1 --leak-check=full \
	--show-leak-kinds=definite,indirect,possible --errors-for-leak-kinds=definite,indirect,possible
memcheck:
	bash tools/install-deps.sh memcheck
	$(MAKE) --no-print-directory all
	mkdir -p $(BUILD)/memcheck
	cd examples && $(VALGRIND) ../$(BUILD)/qiro -i crp0.fasta -freq crp0.freq -k 22 -seed 1 -g 10 -p 20 -threads 2 \
		-o ../$(BUILD)/memcheck/run.out -meme ../$(BUILD)/memcheck/run.meme -jaspar ../$(BUILD)/memcheck/run.jaspar \
		-bed ../$(BUILD)/memcheck/run.bed -json ../$(BUILD)/memcheck/run.json -html ../$(BUILD)/memcheck/run.html \
		> ../$(BUILD)/memcheck/run.log
	cd examples && $(VALGRIND) ../$(BUILD)/qiro -i crp0.fasta -freq crp0.freq -pk crp_regulondb_sites.txt -perpk 0.2 \
		-seed 1 -g 10 -p 20 -threads 2 -o ../$(BUILD)/memcheck/pk.out > ../$(BUILD)/memcheck/pk.log
	cd examples && $(VALGRIND) ../$(BUILD)/qiro -i crp0.fasta -freq crp0.freq -k 20-22 -evalue 1 -nmotifs 2 -words 2 \
		-seed 1 -g 10 -p 20 -threads 2 -o ../$(BUILD)/memcheck/evalue.out -json ../$(BUILD)/memcheck/evalue.json \
		-html ../$(BUILD)/memcheck/evalue.html -meme ../$(BUILD)/memcheck/evalue.meme \
		-db ../tests/data/jaspar_excerpt_meme.txt > ../$(BUILD)/memcheck/evalue.log
	@echo "memcheck: clean"

bench:
	bash tools/install-deps.sh bench
	$(MAKE) --no-print-directory all
	$(BUILD)/bench/qiro_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
	bash bench/compare.sh
	bash bench/evalue_cost.sh
	python3 -B bench/scale.py --bin $(BUILD)

accuracy: all
	python3 -B bench/accuracy/accuracy.py --data $(ACCURACY_DATA) --bin $(BUILD) \
		--work $(BUILD)/accuracy --jobs $(JOBS) $(ACCURACY_ARGS)

accuracy-controls: all
	python3 -B bench/accuracy/controls.py --data $(ACCURACY_DATA) --bin $(BUILD) \
		--work $(BUILD)/accuracy-controls --jobs $(JOBS) $(CONTROLS_ARGS)

accuracy-naming: all
	python3 -B bench/accuracy/naming.py --data $(ACCURACY_DATA) --bin $(BUILD) \
		--work $(BUILD)/accuracy-naming

# CMake's own list of installed files (install_manifest.txt) leaves DESTDIR out
# and is rewritten by every install from the build folder, the package's and
# the tests' included: the list of this install, DESTDIR included, is kept
# under a name of its own.
install: all
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)"
	sed 's|^|$(DESTDIR)|' $(BUILD)/install_manifest.txt > $(BUILD)/installed-files.txt

uninstall:
	@test -f $(BUILD)/installed-files.txt || \
		{ echo "uninstall: no $(BUILD)/installed-files.txt: nothing was installed from $(BUILD)"; exit 1; }
	xargs -r -d '\n' rm -f -- < $(BUILD)/installed-files.txt
	grep '/doc/qiro/' $(BUILD)/installed-files.txt | sed 's|/[^/]*$$||' | sort -ru | \
		xargs -r -d '\n' rmdir --ignore-fail-on-non-empty --
	rm -f $(BUILD)/installed-files.txt

deb:
	bash tools/install-deps.sh deb
	$(MAKE) --no-print-directory all
	cd $(BUILD) && cpack -G DEB

wheel:
	bash tools/install-deps.sh wheel
	$(MAKE) --no-print-directory all
	cmake --build $(BUILD) --target wheel

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
