#!/usr/bin/env bash
# Prints an errors.csv report as an aligned table. The report's header names five columns;
# the sixth, the colour error variance, is named here.
set -euo pipefail
awk -F';' '
  NR == 1 { $0 = $0 ";color var" }
  { rows[NR] = $0; for (i = 1; i <= NF; i++) if (length($i) > width[i]) width[i] = length($i); if (NF > fields) fields = NF }
  END {
    for (r = 1; r <= NR; r++) {
      n = split(rows[r], cell, ";"); line = ""
      for (i = 1; i <= fields; i++) line = line sprintf(i == 1 ? "%-*s" : "  %*s", width[i], cell[i])
      print line
      if (r == 1) { rule = ""; for (i = 1; i <= length(line); i++) rule = rule "-"; print rule }
    }
  }' "${1:-errors.csv}"
