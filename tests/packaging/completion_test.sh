#!/usr/bin/env bash
# The bash completion of veltro-cli, called as bash calls it: COMP_WORDS and COMP_CWORD set, COMPREPLY
# read back. Needs nothing but bash. Exits non-zero when a case fails.
set -u

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/../../packaging/bash-completion/veltro-cli" || exit 2

# Serial ports of our own, so that the result does not depend on the machine's.
scratch=$(mktemp -d) || exit 2
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/dev" "$scratch/files"
: >"$scratch/dev/ttyUSB0"
: >"$scratch/dev/ttyACM1"
: >"$scratch/dev/ttyS0"
: >"$scratch/dev/sda"
: >"$scratch/files/meters.csv"
: >"$scratch/files/keys.txt"
_veltro_cli_dev_dir=$scratch/dev

# The word breaks of an interactive bash, where "serial:/dev/ttyS0" arrives as three words.
default_breaks=$' \t\n"\'><=;|&(:'

passed=0
failed=0

# [LINE=TEXT] expect DESCRIPTION BREAKS WORD... :: EXPECTATION...
# The last WORD is the one being completed. EXPECTATION: +X must be offered, -X must not, =N: exactly N
# candidates.
expect() {
    local description=$1 breaks=$2
    shift 2
    local -a words=()
    while (($# > 0)) && [[ $1 != '::' ]]; do
        words+=("$1")
        shift
    done
    if (($# == 0)); then
        ((failed++))
        printf 'FAIL %s: no "::" before the expectations\n' "$description"
        return
    fi
    shift
    COMP_WORDBREAKS=$breaks
    COMP_WORDS=("${words[@]}")
    COMP_CWORD=$((${#words[@]} - 1))
    # As typed: no blank next to a lone ':' or '=', the pieces of one argument; or as LINE gives it.
    local i
    COMP_LINE=${words[0]}
    for ((i = 1; i < ${#words[@]}; i++)); do
        if [[ ${words[i]} == [:=] || ${words[i - 1]} == [:=] ]]; then
            COMP_LINE+=${words[i]}
        else
            COMP_LINE+=" ${words[i]}"
        fi
    done
    [[ -n ${LINE-} ]] && COMP_LINE=$LINE
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _veltro_cli

    local problems= expectation candidate found
    for expectation in "$@"; do
        case $expectation in
            =*)
                ((${#COMPREPLY[@]} == ${expectation#=})) ||
                    problems+=" expected ${expectation#=} candidates, got ${#COMPREPLY[@]};" ;;
            +* | -*)
                found=0
                for candidate in "${COMPREPLY[@]}"; do
                    [[ $candidate == "${expectation:1}" ]] && found=1
                done
                if [[ $expectation == +* && $found == 0 ]]; then
                    problems+=" missing '${expectation:1}';"
                elif [[ $expectation == -* && $found == 1 ]]; then
                    problems+=" unexpected '${expectation:1}';"
                fi ;;
        esac
    done
    if [[ -z $problems ]]; then
        ((passed++))
    else
        ((failed++))
        printf 'FAIL %s:%s\n  words: %s\n  got: %s\n' "$description" "$problems" "${words[*]}" "${COMPREPLY[*]}"
    fi
}

b=$default_breaks

# Commands and subcommands
expect "every command at the start" "$b" veltro-cli '' :: +decode +scan +gateway +display +rxv-kt \
    +rxvpico +build +auto-address +set-counter-type +watch =23
expect "commands by prefix" "$b" veltro-cli set- :: +set-address +set-counter-type -scan -reset =8
expect "general options at the start" "$b" veltro-cli - :: +--help +--version +-h =3
expect "display's subcommands" "$b" veltro-cli display '' :: +write +read-meters +sort-readings +from-meters =14
expect "rxv-kt's subcommands" "$b" veltro-cli rxv-kt '' :: +acquire +program +key +verify +set +info +wmbus =7
expect "rxvpico's subcommands" "$b" veltro-cli rxvpico '' :: +status +write-list +set-key +filter =10
expect "gateway's subcommands" "$b" veltro-cli gateway '' :: +set +get +test =3
expect "build's subcommands" "$b" veltro-cli build set-c :: +set-counter +set-counter-type =2
expect "the subcommand after a bus option" "$b" veltro-cli display --link serial:/dev/ttyS0 re :: \
    +read +read-meters +refresh =3

# Options of each command
expect "scan's options" "$b" veltro-cli scan -- :: +--from +--to +--nke +--global-init +--csv +--link \
    +--simulate -'--multi' -'--set'
expect "request's options" "$b" veltro-cli request 2 --m :: +--multi =1
expect "decode takes no bus option" "$b" veltro-cli decode -- :: +--full +--apator -'--link' =4
expect "configuring a meter" "$b" veltro-cli set-address 5 -- :: +--address +--id +--broadcast +--yes \
    -'--relay'
expect "set-unit adds --relay" "$b" veltro-cli set-unit l 10 --r :: +--relay +--retries =2
expect "display write's options" "$b" veltro-cli display write t.csv -- :: +--set +--rows +--readings-csv \
    +--link -'--month'
expect "display from-meters works without the bus" "$b" veltro-cli display from-meters m.csv -- :: \
    +--csv -'--link' =3
expect "rxv-kt program's options" "$b" veltro-cli rxv-kt program rxv.csv --by :: +--by-address +--by-id =2
expect "rxv-kt set's options" "$b" veltro-cli rxv-kt set --w :: +--wireless-mode +--work-mode +--wait-gateway =3
expect "rxvpico delete's options" "$b" veltro-cli rxvpico delete --a :: +--all +--address =2
expect "rxvpico read-list's --keys" "$b" veltro-cli rxvpico read-list --k :: +--keys =1
expect "build req-ud2's option" "$b" veltro-cli build req-ud2 5 -- :: +--5b =1
expect "watch's MQTT options and the bus options" "$b" veltro-cli watch 1 2 --mqtt :: +--mqtt +--mqtt-user \
    +--mqtt-password-file +--mqtt-tls +--mqtt-queue +--mqtt-client-id =6
expect "watch takes the bus options" "$b" veltro-cli watch --every 15m --li :: +--link =1

# Option values
expect "link kinds" "$b" veltro-cli scan --link '' :: +serial: +bridge: +gateway: +gateway-server: =4
expect "a value after an option is not a subcommand" "$b" veltro-cli display --timeout 500 '' :: +write +read
expect "durations of --every" "$b" veltro-cli watch --every 1 :: +1m +15m +1h +1d =4
expect "search direction" "$b" veltro-cli search --direction '' :: +msb +lsb =2
expect "history month" "$b" veltro-cli display history --month J :: +Jan +Jun +Jul =3
expect "sort-readings by" "$b" veltro-cli display sort-readings r.csv --by '' :: +address +user =2
expect "display settings after a comma" "$b" veltro-cli display write t.csv --set units,te :: +units,text \
    +units,text2 =2
expect "wireless modes" "$b" veltro-cli rxv-kt set --wireless-mode T :: +T1 +T2 +T1+C +T2+C =4
expect "a work mode with a blank, quoted" "$b" veltro-cli rxv-kt set --work-mode Acc :: '+Accept\ All' =1
expect "receiver options split at '='" "$b" veltro-cli rxv-kt set --option rssi = '' :: +0 +1 =2
expect "receiver options whole" "" veltro-cli rxv-kt set --option rs :: +rssi=0 +rssi=1 =2
LINE="veltro-cli rxv-kt set --option tmst= --work-mode Acc" \
    expect "an option after a blank that follows '='" "$b" veltro-cli rxv-kt set --option tmst = --work-mode \
    Acc :: '+Accept\ All' =1
LINE="veltro-cli scan --link serial: /tmp" \
    expect "a word after a blank that follows ':'" "$b" veltro-cli scan --link serial : /tmp :: =0

# Serial ports after --link serial:
expect "ports, link word split at ':'" "$b" veltro-cli scan --link serial : '' :: +"$scratch/dev/ttyUSB0" \
    +"$scratch/dev/ttyACM1" +"$scratch/dev/ttyS0" -"$scratch/dev/sda" =3
expect "ports by prefix, split at ':'" "$b" veltro-cli scan --link serial : "$scratch/dev/ttyU" :: \
    +"$scratch/dev/ttyUSB0" =1
expect "ports, link word whole" "" veltro-cli scan --link serial: :: +"serial:$scratch/dev/ttyUSB0" \
    +"serial:$scratch/dev/ttyS0" =3
expect "ports by bare name" "" veltro-cli read 1 --link serial:ttyA :: +serial:ttyACM1 =1
expect "line speeds after the port" "$b" veltro-cli scan --link serial : /dev/ttyS0 : 24 :: +2400 =1
expect "parities after the speed" "$b" veltro-cli scan --link serial : /dev/ttyS0 : 2400 : '' :: +None +Even \
    +Odd +Mark +Space =5
expect "no ports for a bridge" "$b" veltro-cli scan --link bridge : '' :: =0
expect "ports for the gateway settings port" "$b" veltro-cli gateway get MAIN --link serial : '' :: =3

# Positional arguments
expect "gateway get's groups" "$b" veltro-cli gateway get '' :: +MAIN +STAT =6
expect "gateway set's names" "$b" veltro-cli gateway set IP :: +IPV4 +IPMA +IPCO +IPO1 +IPO4 =7
expect "display info pages" "$b" veltro-cli display info entry :: +entry1 +entry2 +entry3 =3
expect "display sort keys" "$b" veltro-cli display sort '' :: +address +user =2
expect "filter kinds" "$b" veltro-cli rxvpico filter read '' :: +id +manufacturer +medium =3
expect "filter verbs" "$b" veltro-cli rxvpico filter '' :: +set +read =2
expect "flag items, quoted" "$b" veltro-cli rxvpico flag Decode :: '+Decode\ APATOR' '+Decode\ Techem' =2
expect "flag items after an opening quote" "$b" veltro-cli rxvpico flag '"Decode T' :: '+Decode Techem' =1
expect "flag on or off after an item" "$b" veltro-cli rxvpico flag 'Decode\ Techem' '' :: +on +off =2
expect "meter line speed" "$b" veltro-cli set-baud '' :: +300 +2400 +4800 =3
expect "build set-pulse's width" "$b" veltro-cli build set-pulse 5 '' :: +5ms +100ms =5
expect "nothing after decode's hex" "$b" veltro-cli decode 68 '' :: =0

# File names
cd "$scratch/files" || exit 2
expect "a file after --csv" "$b" veltro-cli scan --csv m :: +meters.csv =1
expect "a file after --table" "$b" veltro-cli auto-address --table '' :: +meters.csv +keys.txt =2
expect "the file of display write" "$b" veltro-cli display write '' :: +meters.csv +keys.txt =2
expect "the table of rxv-kt verify" "$b" veltro-cli rxv-kt verify me :: +meters.csv =1
expect "watch's password file" "$b" veltro-cli watch --mqtt localhost --mqtt-password-file k :: +keys.txt =1
expect "watch's CA file after the meters" "$b" veltro-cli watch 1 2 --mqtt-tls '' :: +meters.csv +keys.txt =2
expect "rxv-kt's key file" "$b" veltro-cli rxv-kt key meters.csv --keys k :: +keys.txt =1
expect "rxvpico's --keys takes no file" "$b" veltro-cli rxvpico write-list meters.csv --keys '' :: -keys.txt \
    =0
expect "the file of rxvpico write-list" "$b" veltro-cli rxvpico write-list '' :: +meters.csv =2
expect "--home takes folders" "$b" veltro-cli read 1 --home '' :: =0
cd "$scratch" || exit 2
expect "--home offers folders" "$b" veltro-cli read 1 --home f :: +files =1

echo "$passed passed, $failed failed"
((failed == 0))
