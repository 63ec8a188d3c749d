# bash completion for zorl (and zorl-sim, the same program on a simulated
# board): options, command keywords, clock-set field names and values.

# Clock-set fields and the largest value each accepts, in listing order.
_zorl_clkset1="pll1_x2ipd:31 pll1_x2fdb2:63 pll1_x1fdb1:31 pll1_ps:3 fclkdiv:7 hclkdiv:7
pclkdiv:3 nbyp1:1 smcrom:1"
_zorl_clkset2="pll2_x2ipd:31 pll2_x2fdb2:63 pll2_x1fdb1:31 pll2_ps:3 nbyp2:1 pll2_en:1 usbdiv:14"

_zorl() {
    # The word being completed as the user typed it: bash splits words at
    # "=", which is part of a command here.
    local line=${COMP_LINE:0:COMP_POINT}
    local cur=${line##*[[:space:]]}
    local words=() w i

    # Does the word belong to the options?  They end at the first argument
    # that does not begin with "-"; -o and -i take the next one whatever it
    # is.  After an option the program refuses, nothing is offered.
    local inopts=1
    for ((i = 1; i < COMP_CWORD; i++)); do
        w=${COMP_WORDS[i]}
        case $w in
        -o | -ou | -out | -outp | -outpu | -output | -i | -in | -inp | -inpu | -input)
            if ((i + 1 == COMP_CWORD)); then
                # The file of -o or -i, as bash has the word: quoted or with
                # backslashes, so that a name may hold white space.
                w=${COMP_WORDS[COMP_CWORD]}
                if [[ $w == [\'\"]* ]]; then
                    w=${w:1}
                else
                    # shellcheck disable=SC2162 # the backslashes go, as bash takes them
                    IFS= read w <<<"$w"
                fi
                compopt -o filenames 2>/dev/null
                mapfile -t COMPREPLY < <(compgen -f -- "$w")
                return
            fi
            ((i++))
            ;;
        -*)
            # A letter the program refuses (-x; -wi, as i and o are no letters).
            [[ ${w#-} == *[!dhvw]* ]] && return
            ;;
        *)
            inopts=0
            break
            ;;
        esac
    done

    # What bash replaces is the text after the last "="; seg is the part
    # after the last "." or "=", the part being completed.
    local word=${cur##*=} seg=${cur##*[.=]}
    local kw=${cur%%[.=]*} fields=
    kw=${kw,,}
    if ((inopts)) && [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "-v -w -d -h -i -o" -- "$cur")
        return
    else
        case $kw in
        clkset1) fields=$_zorl_clkset1 ;;
        clkset2) fields=$_zorl_clkset2 ;;
        esac
        case $cur in
        *.*=*)
            # A field's value: every value it accepts.
            local name=${cur#*.}
            name=${name%%=*}
            for w in $fields; do
                if [[ ${w%%:*} == "${name,,}" ]]; then
                    mapfile -t words < <(seq 0 "${w##*:}")
                    ((${w##*:} == 1)) && words+=(on off)
                fi
            done
            ;;
        *=*)
            case $kw in
            ether | ether? | ether?? | ethernet | usb | irda | uart | write) words=(on off) ;;
            esac
            ;;
        *.*)
            for w in $fields write; do words+=("${w%%:*}"); done
            ;;
        *)
            words=(ethernet usb irda uart write dma chipid clkset1 clkset2)
            ;;
        esac
    fi

    # The candidates that match what was typed, in its case: "US" gives
    # USB, "us" usb, "usb=O" usb=ON.
    local up=
    [[ $seg == *[[:upper:]]* && $seg != *[[:lower:]]* ]] && up=1
    COMPREPLY=()
    for w in "${words[@]}"; do
        [[ ${w,,} == "${seg,,}"* ]] || continue
        w=$seg${w:${#seg}}
        [[ $up ]] && w=${w^^}
        COMPREPLY+=("${word:0:${#word}-${#seg}}$w")
    done
    # A keyword that a value or a field follows, and a field name, take
    # their "=" or "." right after them: no space.
    if ((${#COMPREPLY[@]} == 1)) && [[ $cur != *=* ]]; then
        case ${COMPREPLY[0],,} in
        *.write) ;;
        ethernet | usb | irda | uart | write | clkset1 | clkset2 | *.*)
            compopt -o nospace 2>/dev/null
            ;;
        esac
    fi
}

complete -F _zorl zorl zorl-sim
