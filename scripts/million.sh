#!/usr/bin/env bash
# Writes talpor-lote's outputs on the benchmark's million points (lote_bench --datos) for
# every --salida form, with the decimal point and the decimal comma, and its layers of the
# GeoPackage of polygons, into one folder; run it with the talpor-lote of two builds and
# compare: the tables byte for byte (cmp), the layers' coordinates within a micrometre
# (scripts/compare-layers.py):
#   scripts/million.sh BUILD/src/batch/talpor-lote DATA OUT
set -euo pipefail
lote=$(realpath "$1") data=$(realpath "$2") out=$3
mkdir -p "$out"
for sign in --punto --coma; do
  for form in default gms gd gm utm altura parametros altitud gms,gd,gm,utm,altura,parametros,altitud; do
    args=()
    [ "$form" = default ] || args+=("--salida=$form")
    "$lote" "${args[@]}" "$sign" "$data/puntos.csv" "$out/$form$sign.csv" 2>"$out/$form$sign.err" || true
  done
  "$lote" -s ed50-wgs84 -m rejilla --salida=gms,utm "$sign" "$data/puntos.csv" "$out/rejilla$sign.csv" \
    2>"$out/rejilla$sign.err" || true
done
for method in rejilla helmert; do
  for to in gpkg geojson; do
    rm -f "$out/$method.$to"
    "$lote" -m "$method" "$data/rodales.gpkg" "$out/$method.$to" 2>"$out/$method-$to.err"
  done
  rm -f "$out/$method-31.gpkg"
  "$lote" -m "$method" --huso=31 "$data/rodales.gpkg" "$out/$method-31.gpkg" 2>"$out/$method-31.err" || true
done
