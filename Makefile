# Talpor: the two set-up commands are `./make run` and `./make test` (./make installs
# GNU make first where it is missing); `make run` and `make test` do the same where
# make is installed. `make install` and `make package` install Talpor or build its
# Debian package. Each installs what is missing (Debian packages) before building.

JOBS      ?= $(shell nproc)
DEBUG_DIR := build/debug
REL_DIR   := build/release
PREFIX    ?= /usr/local

.PHONY: all run test bench fuzz fuzz-lote fuzz-layers fuzz-rasters fuzz-images fuzz-projects mutants deps install package release clean

all: test

deps:
	@scripts/deps.sh

# Debug build with AddressSanitizer and UndefinedBehaviorSanitizer; every test runs under them.
test: deps
	cmake -S . -B $(DEBUG_DIR) -DCMAKE_BUILD_TYPE=Debug -DTALPOR_SANITIZE=ON -DTALPOR_TESTS=ON -DTALPOR_QT=ON
	cmake --build $(DEBUG_DIR) -j $(JOBS)
	cd $(DEBUG_DIR) && ctest --output-on-failure -j $(JOBS)

# Malformed point files through the sanitized talpor-lote (scripts/fuzz_lote.py): a few
# minutes for the 2000 files, so not part of `make test`. FUZZ_FILES and FUZZ_SEED vary it.
FUZZ_FILES ?= 2000
FUZZ_SEED  ?= 1
fuzz-lote: deps
	cmake -S . -B $(DEBUG_DIR) -DCMAKE_BUILD_TYPE=Debug -DTALPOR_SANITIZE=ON -DTALPOR_TESTS=ON -DTALPOR_QT=ON
	cmake --build $(DEBUG_DIR) -j $(JOBS) --target talpor-lote
	python3 scripts/fuzz_lote.py $(DEBUG_DIR)/src/batch/talpor-lote --files $(FUZZ_FILES) --seed $(FUZZ_SEED) \
		--jobs $(JOBS) --keep build/fuzz-lote

# Damaged GIS layers (shapefile, GeoPackage, GeoJSON, KML, KMZ, DXF) through the sanitized
# talpor-lote and its worker talpor-capas (scripts/fuzz_layers.py), then layer runs
# interrupted by Ctrl+C or a kill at random moments (scripts/interrupts.py): some minutes
# for the 1000 files and 200 interrupts, so not run by `make test`. FUZZ_LAYERS,
# INTERRUPTS and FUZZ_SEED vary them.
FUZZ_LAYERS ?= 1000
INTERRUPTS ?= 200
fuzz-layers: deps
	cmake -S . -B $(DEBUG_DIR) -DCMAKE_BUILD_TYPE=Debug -DTALPOR_SANITIZE=ON -DTALPOR_TESTS=ON -DTALPOR_QT=ON
	cmake --build $(DEBUG_DIR) -j $(JOBS) --target talpor-lote talpor-capas
	python3 scripts/fuzz_layers.py $(DEBUG_DIR)/src/batch/talpor-lote --files $(FUZZ_LAYERS) --seed $(FUZZ_SEED) \
		--jobs $(JOBS) --keep build/fuzz-layers
	python3 scripts/interrupts.py $(DEBUG_DIR)/src/batch/talpor-lote --runs $(INTERRUPTS) --seed $(FUZZ_SEED)

# Damaged and hostile images (cut short, bits flipped, TIFFs whose sizes, tiles, strips or
# georeference lie, absurd world files, .prj and .aux.xml, VRTs that read themselves, each
# other, devices, FIFOs or a secret, JPEG and PNG bombs, sidecars linked elsewhere, FIFOs,
# resampling runs interrupted by a signal) through the sanitized talpor-lote and its worker
# (scripts/fuzz_images.py): some minutes for the 1000 files, so not run by `make test`,
# but by CI when a commit changes src/rasters or src/gdal. FUZZ_IMAGES and FUZZ_SEED vary
# it; fuzz-images is another name for it.
FUZZ_IMAGES ?= 1000
fuzz-rasters: deps
	cmake -S . -B $(DEBUG_DIR) -DCMAKE_BUILD_TYPE=Debug -DTALPOR_SANITIZE=ON -DTALPOR_TESTS=ON -DTALPOR_QT=ON
	cmake --build $(DEBUG_DIR) -j $(JOBS) --target talpor-lote talpor-capas talpor-gdal
	python3 scripts/fuzz_images.py $(DEBUG_DIR)/src/batch/talpor-lote --files $(FUZZ_IMAGES) --seed $(FUZZ_SEED) \
		--jobs $(JOBS) --keep build/fuzz-rasters
fuzz-images: fuzz-rasters

# Damaged QGIS projects (cut short, bits flipped, tags lost, hostile entities, attributes
# and nesting, sources pointed anywhere, a .qgz's directory spoilt), each converted alone
# with its layers through the sanitized talpor-lote (scripts/fuzz_projects.py): a few
# minutes for the 1000 projects. FUZZ_PROJECTS and FUZZ_SEED vary it.
FUZZ_PROJECTS ?= 1000
fuzz-projects: deps
	cmake -S . -B $(DEBUG_DIR) -DCMAKE_BUILD_TYPE=Debug -DTALPOR_SANITIZE=ON -DTALPOR_TESTS=ON -DTALPOR_QT=ON
	cmake --build $(DEBUG_DIR) -j $(JOBS) --target talpor-lote talpor-capas talpor-gdal
	python3 scripts/fuzz_projects.py $(DEBUG_DIR)/src/batch/talpor-lote --files $(FUZZ_PROJECTS) --seed $(FUZZ_SEED) \
		--jobs $(JOBS) --keep build/fuzz-projects

# The start-up is measured offscreen and on a virtual X display (see docs/developers.md).
# raster_bench makes its orthophoto of 20 000 x 20 000 pixels once, in $(REL_DIR)/bench-data
# (about 850 MB), and its five rounds take some ten minutes on two cores; project_bench
# makes its GIS project of 400 files there too.
bench: deps
	cmake -S . -B $(REL_DIR) -DCMAKE_BUILD_TYPE=Release -DTALPOR_BENCH=ON -DTALPOR_TESTS=OFF -DTALPOR_QT=ON
	cmake --build $(REL_DIR) -j $(JOBS)
	$(REL_DIR)/bench/talpor_bench --benchmark_min_time=0.2
	env -u DISPLAY $(REL_DIR)/bench/startup_bench $(REL_DIR)/src/qt/talpor $(REL_DIR)/bench/empty_window 21
	xvfb-run -a -s "-screen 0 1024x768x24" \
		$(REL_DIR)/bench/startup_bench $(REL_DIR)/src/qt/talpor $(REL_DIR)/bench/empty_window 21
	$(REL_DIR)/bench/lote_bench $(REL_DIR)/src/batch/talpor-lote 5 1000000 $(CURDIR)/data/es_ign_SPED2ETV2.tif
	$(REL_DIR)/bench/raster_bench $(REL_DIR)/src/batch/talpor-lote 5 20000 $(CURDIR)/data/es_ign_SPED2ETV2.tif \
		$(CURDIR)/$(REL_DIR)/bench-data
	$(REL_DIR)/bench/project_bench $(REL_DIR)/src/batch/talpor-lote 3 $(CURDIR)/data/es_ign_SPED2ETV2.tif \
		$(CURDIR)/$(REL_DIR)/bench-data

# Random events on the window's logic (sanitized build): 100.000 events for each of three
# seeds; reports any broken rule with the events that led to it.
fuzz: deps
	cmake -S . -B $(DEBUG_DIR) -DCMAKE_BUILD_TYPE=Debug -DTALPOR_SANITIZE=ON -DTALPOR_TESTS=ON -DTALPOR_QT=ON
	cmake --build $(DEBUG_DIR) -j $(JOBS) --target model_fuzz
	for seed in 1 2 3; do $(DEBUG_DIR)/fuzz/model_fuzz 100000 $$seed || exit 1; done

# Mutation testing, on demand (not part of make test): each mutant of scripts/mutants.txt
# applied alone to a copy of the sources in build/mutants, rebuilt and tested; the table
# goes to build/mutants/report.md, and any mutant docs/mutants-baseline.md caught that
# survives now fails the target. MUTANTS="3 7-9 geo" picks some by number or area.
mutants: deps
	scripts/mutants.sh -j $(JOBS) -b docs/mutants-baseline.md $(MUTANTS)

run: deps
	cmake -S . -B $(REL_DIR) -DCMAKE_BUILD_TYPE=Release -DTALPOR_TESTS=OFF -DTALPOR_QT=ON
	cmake --build $(REL_DIR) -j $(JOBS)
	@scripts/run.sh $(REL_DIR)

clean:
	rm -rf build

# The Release build that install and package take their files from (no benchmarks).
release: deps
	cmake -S . -B $(REL_DIR) -DCMAKE_BUILD_TYPE=Release -DTALPOR_TESTS=OFF -DTALPOR_BENCH=OFF -DTALPOR_QT=ON
	cmake --build $(REL_DIR) -j $(JOBS)

# Installs into PREFIX (make install PREFIX=~/.local); sudo only for the copying, when needed.
install: release
	@scripts/install.sh $(REL_DIR) $(PREFIX)

# The Debian package talpor_<version>_<arch>.deb, in build/release, with /usr as prefix.
package: release
	cd $(REL_DIR) && cpack -G DEB
