# Sourced by the demo and the measurements: write_fleet_cfg FILE writes a 906-byte
# "vnk.cfg" with pumps 1-24 on COM1-COM24, US units, 1 s refresh, steps 100/25, all pumps
# shown, no groups (the record's little-endian layout, byte by byte).
write_fleet_cfg() {
  local cfg=$1
  head -c 906 /dev/zero > "$cfg"
  poke() { printf "$2" | dd of="$cfg" bs=1 seek="$1" conv=notrunc status=none; }
  local i
  for i in $(seq 0 23); do poke "$i" "$(printf '\\x%02x' $((i + 1)))"; done
  poke 25 '\x00\x00\x00\x00\x00\x00\xf0\x3f'   # refresh 1.0 s
  poke 33 '\x71\x01\x00\x00\x1b\x00\x00\x00'   # 369, 27
  for i in $(seq 0 24); do
    poke $((301 + 4 * i)) '\x64\x00\x00\x00'   # large step 100
    poke $((401 + 4 * i)) '\x19\x00\x00\x00'   # small step 25
  done
  poke 501 '\xfc\xa9\xf1\xd2\x4d\x62\x50\x3f'  # port time-out 0.001 s
  poke 517 '\x18'                              # 24 pumps shown
  for i in $(seq 0 23); do poke $((518 + i)) '\xff'; done
  poke 902 '\x01\x00'                          # groups valid
}
