# The helper that reads metrics.csv by column name, sourced by the scripts that compare it.

# The value of a column in the row of a file in a metrics.csv.
value() { # metrics.csv file column-name
  awk -F, -v file="$2" -v name="$3" 'NR == 1 { for (i = 1; i <= NF; i++) if ($i == name) c = i }
                                     $1 == file { print $c }' "$1"
}
