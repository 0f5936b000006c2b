* 1N4148 small-signal diode.  The forward voltage is set by d_n (hardware/simulate): 1.752 for
* the usual typical model, 2.55 for the datasheet limit of 1.0 V at 10 mA.
.model 1N4148 d is=2.52n n={d_n} rs=0.568 bv=100 ibv=100u cjo=4p tt=20n
